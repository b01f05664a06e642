// SPDX-License-Identifier: MIT
#include "IntervalTimer.h"

PreciseTimer::PreciseTimer()
{
    // Coarse timers may fire 5% late, which would stretch a 5 ms repeat noticeably.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { fire(); });
}

void PreciseTimer::setInterval(std::chrono::milliseconds interval)
{
    m_timer.setInterval(interval);
}

std::chrono::milliseconds PreciseTimer::interval() const
{
    return m_timer.intervalAsDuration();
}

void PreciseTimer::start()
{
    m_timer.start();
}

void PreciseTimer::stop()
{
    m_timer.stop();
}

bool PreciseTimer::isActive() const
{
    return m_timer.isActive();
}

TimerFactory PreciseTimer::factory()
{
    return [] { return std::make_unique<PreciseTimer>(); };
}
