// SPDX-License-Identifier: MIT
#include "IntervalTimer.h"

#include <algorithm>

using namespace std::chrono;

PreciseTimer::PreciseTimer(Backend backend)
{
    if (backend == Backend::Best) m_queue = TimerQueue::acquire();
    if (m_queue) return;
    // Coarse timers may fire 5% late, which would stretch a 5 ms repeat noticeably.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
        m_deadline = TimerQueue::now() + m_interval;
        fire();
    });
}

PreciseTimer::~PreciseTimer()
{
    if (!m_queue) return;
    m_queue->cancel(this);
    m_queue->release();
}

void PreciseTimer::setInterval(milliseconds interval)
{
    m_interval = interval;
    if (!m_queue) m_timer.setInterval(interval);
    // Through start() on both paths: a QTimer restarts itself on a new interval, but the deadline
    // that remainingTime() and isDue() read must restart with it.
    if (m_active) start();
}

void PreciseTimer::start()
{
    m_active = true;
    m_deadline = TimerQueue::now() + m_interval;
    // Scheduling again also drops a tick due but not yet run, so a restarted countdown is whole.
    if (m_queue)
        m_queue->schedule(this, m_deadline);
    else
        m_timer.start();
}

void PreciseTimer::stop()
{
    m_active = false;
    if (m_queue)
        m_queue->cancel(this);
    else
        m_timer.stop();
}

milliseconds PreciseTimer::remainingTime() const
{
    if (!m_active) return milliseconds(-1);
    return duration_cast<milliseconds>(m_deadline - TimerQueue::now());
}

void PreciseTimer::expire(nanoseconds now)
{
    // Periodic like QTimer, and ticks missed while the thread was busy come as one, as QTimer's
    // do. A zero interval moves on by a nanosecond: to the next round of the loop.
    const nanoseconds period = std::max<nanoseconds>(m_interval, nanoseconds(1));
    if (m_deadline <= now) m_deadline += ((now - m_deadline) / period + 1) * period;
    m_queue->schedule(this, m_deadline);
    fire();
}

TimerFactory PreciseTimer::factory()
{
    return [] { return std::make_unique<PreciseTimer>(); };
}
