// SPDX-License-Identifier: MIT
#include "VirtualClock.h"

#include <algorithm>

VirtualClock::Timer::~Timer()
{
    auto &v = m_clock.m_timers;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void VirtualClock::Timer::setInterval(ms interval)
{
    m_interval = interval;
    if (m_active) start();
}

void VirtualClock::Timer::start()
{
    m_active = true;
    m_due = m_clock.m_now + m_interval;
    m_sequence = ++m_clock.m_sequence;
}

VirtualClock::~VirtualClock() = default;

std::unique_ptr<IntervalTimer> VirtualClock::makeTimer()
{
    auto t = std::make_unique<Timer>(*this);
    m_timers.push_back(t.get());
    return t;
}

VirtualClock::Timer *VirtualClock::nextTimer() const
{
    Timer *best = nullptr;
    for (Timer *t : m_timers) {
        if (!t->m_active) continue;
        if (!best || t->m_due < best->m_due ||
            (t->m_due == best->m_due && (t->m_sequence < best->m_sequence) != reverseTies))
            best = t;
    }
    return best;
}

VirtualClock::ms VirtualClock::nextDue() const
{
    const Timer *t = nextTimer();
    return t ? t->m_due : ms(-1);
}

void VirtualClock::advance(ms d)
{
    const ms end = m_now + d;
    while (Timer *t = nextTimer()) {
        if (t->m_due > end) break;
        m_now = t->m_due;
        // Periodic, as the window's timers are: the next tick is one interval later unless the
        // handler restarts or stops it. A zero interval still moves on, so time advances.
        t->m_due = m_now + std::max(t->m_interval, ms(1));
        t->m_sequence = ++m_sequence;
        t->fire();
    }
    m_now = end;
}
