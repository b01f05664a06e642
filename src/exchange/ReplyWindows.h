// SPDX-License-Identifier: MIT
#pragma once

#include "Exchange.h"
#include "IntervalTimer.h"
#include "SerialLink.h"

#include <QByteArray>
#include <QObject>

#include <memory>

// The panel's exchange with no screen: for projector-ctl and the service, which wait out each
// command's reply window and then take its reply as it came. Every window is the normal one.
class ReplyWindows final : public QObject
{
    Q_OBJECT
public:
    ReplyWindows(SerialLink &link, const TimerFactory &makeTimer, QObject *parent = nullptr);
    ~ReplyWindows() override;

    Exchange &exchange() { return *m_exchange; }
    bool isOpen() const { return m_timer2->isActive(); }
    // Closes nothing: the window open now is left unanswered, and no timer runs.
    void stop();

Q_SIGNALS:
    // A reply window has closed, after the exchange's own handler: the bytes it received, and
    // whether any came.
    void closed(const QByteArray &reply, bool answered);

private:
    std::unique_ptr<IntervalTimer> m_timer2, m_timer4;
    std::unique_ptr<Exchange> m_exchange; // declared after the timers it refers to
    bool m_noReply = false;
};
