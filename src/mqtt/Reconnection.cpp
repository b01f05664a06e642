// SPDX-License-Identifier: MIT
#include "Reconnection.h"

#include <algorithm>

Reconnection::Reconnection(TimerFactory timers, quint32 seed, QObject *parent)
    : QObject(parent), m_retry(timers()), m_stable(timers()), m_random(seed)
{
    m_stable->setInterval(StableAfter);
    connect(m_retry.get(), &IntervalTimer::timeout, this, [this] {
        m_retry->stop();
        Q_EMIT attempt();
    });
    connect(m_stable.get(), &IntervalTimer::timeout, this, [this] {
        m_stable->stop();
        m_next = First;
    });
}

void Reconnection::start()
{
    stop();
    m_next = First;
    Q_EMIT attempt();
}

void Reconnection::failed()
{
    m_stable->stop();
    const auto shortening = ms(m_random.bounded(quint32(m_next.count() / 5 + 1)));
    m_lastWait = m_next - shortening;
    m_next = std::min(m_next * 2, Longest);
    m_retry->setInterval(m_lastWait);
    m_retry->start();
}

void Reconnection::succeeded()
{
    m_retry->stop();
    m_stable->start();
}

void Reconnection::stop()
{
    m_retry->stop();
    m_stable->stop();
}
