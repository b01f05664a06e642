// SPDX-License-Identifier: MIT
#include "ReplyWindows.h"

#include "Commands.h"

#include <chrono>

ReplyWindows::ReplyWindows(SerialLink &link, const TimerFactory &makeTimer, QObject *parent)
    : QObject(parent), m_timer2(makeTimer()), m_timer4(makeTimer())
{
    m_timer2->setInterval(ReplyWindow);
    // Nothing is on a screen, so nothing needs clearing; a display clear falling due before
    // the reply window had been read would only blank what is about to be given out.
    m_timer4->setInterval(std::chrono::hours(24));
    m_exchange = std::make_unique<Exchange>(link, *m_timer2, *m_timer4);
    connect(m_exchange.get(), &Exchange::lineSent, this, [this] { m_noReply = false; });
    connect(m_exchange.get(), &Exchange::noReply, this, [this] { m_noReply = true; });
    // After the exchange's own handler, which closes the window.
    connect(m_timer2.get(), &IntervalTimer::timeout, this, [this] {
        if (m_timer2->isActive()) return;
        m_timer4->stop();
        Q_EMIT closed(m_exchange->closedReply().toLatin1(), !m_noReply);
    });
}

ReplyWindows::~ReplyWindows() = default;

void ReplyWindows::stop()
{
    m_timer2->stop();
    m_timer4->stop();
}
