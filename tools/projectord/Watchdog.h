// SPDX-License-Identifier: MIT
#pragma once

#include "Datagram.h"
#include "IntervalTimer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Tells systemd that the event loop still turns, when the unit's WatchdogSec= asks for it: the
// loop pets the watchdog at half the period systemd gives, so a stuck loop misses it and is
// restarted. Written to the notification socket directly: the protocol is one datagram, and
// nothing else of libsystemd is needed.
class Watchdog final : public QObject
{
    Q_OBJECT
public:
    using Log = std::function<void(const QString &)>;

    // Reads WATCHDOG_USEC, WATCHDOG_PID and NOTIFY_SOCKET as systemd sets them. `log` hears of
    // the first pet that could not be sent, once.
    Watchdog(const TimerFactory &timers, Log log, QObject *parent = nullptr);
    ~Watchdog() override;

    // Whether systemd watches this process; without it start() does nothing.
    bool isEnabled() const { return m_timer != nullptr; }
    // Pets now, then at every interval.
    void start();
    // Tells systemd another state ("RELOADING=1", "READY=1") when it listens; false when not.
    bool tell(const QByteArray &state) { return m_notify.isValid() && m_notify.send(state); }

private:
    void pet();

    Log m_log;
    QByteArray m_socket; // NOTIFY_SOCKET, for the message
    Datagram m_notify;
    std::unique_ptr<IntervalTimer> m_timer;
    bool m_toldOfFailure = false;
};
