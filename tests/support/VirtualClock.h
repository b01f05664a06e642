// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// A clock that moves only when a test says so. Its timers tick periodically, like the
// window's, in order of due time (timers due at the same moment tick in the order they were
// started, unless reverseTies), and a tick may start, stop or re-time any timer, itself included.
class VirtualClock
{
public:
    using ms = std::chrono::milliseconds;

    class Timer final : public IntervalTimer
    {
    public:
        explicit Timer(VirtualClock &clock) : m_clock(clock) {}
        ~Timer() override;
        void setInterval(ms interval) override;
        ms interval() const override { return m_interval; }
        void start() override;
        void stop() override { m_active = false; }
        bool isActive() const override { return m_active; }
        ms remainingTime() const override { return m_active ? m_due - m_clock.m_now : ms(-1); }

    private:
        friend class VirtualClock;
        VirtualClock &m_clock;
        ms m_interval{0};
        bool m_active = false;
        ms m_due{0};
        std::uint64_t m_sequence = 0;
    };

    ~VirtualClock();

    ms now() const { return m_now; }
    // Runs every tick due up to now + d, then stands at now + d.
    void advance(ms d);
    void advanceTo(ms t) { advance(t - m_now); }
    // The next moment a timer is due, or -1 ms if none runs.
    ms nextDue() const;

    // Timers due at the same moment tick in the reverse of their start order: the window's
    // timers promise no order, so the behaviour must not depend on it.
    bool reverseTies = false;

    std::unique_ptr<IntervalTimer> makeTimer();
    TimerFactory factory()
    {
        return [this] { return makeTimer(); };
    }

private:
    friend class Timer;
    Timer *nextTimer() const;

    ms m_now{0};
    std::uint64_t m_sequence = 0;
    std::vector<Timer *> m_timers;
};
