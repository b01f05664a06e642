// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

class PreciseTimer;
class QSocketNotifier;

// The deadlines of one thread's PreciseTimers, on one timerfd armed at the earliest of them. A
// service with hundreds of projectors would otherwise spend a descriptor on every timer of
// every projector. Deadlines are absolute on CLOCK_MONOTONIC, which steady_clock reads, so a
// timer that restarts at every tick gains no drift from re-arming.
class TimerQueue
{
public:
    using Slot = std::pair<std::chrono::nanoseconds, std::uint64_t>; // deadline, order of arming

    // This thread's queue, made on first use; null where there is no timerfd or none can be
    // made (out of descriptors): the caller falls back on a QTimer.
    static TimerQueue *acquire();
    // Each acquire() is matched by one release(); the last one closes the descriptor.
    void release();

    static std::chrono::nanoseconds now();

    // Due at `deadline`; replaces the timer's earlier deadline. Deadlines that are equal tick
    // in the order they were armed.
    void schedule(PreciseTimer *timer, std::chrono::nanoseconds deadline);
    void cancel(PreciseTimer *timer);

    TimerQueue(const TimerQueue &) = delete;
    TimerQueue &operator=(const TimerQueue &) = delete;

private:
    explicit TimerQueue(int fd);
    ~TimerQueue();
    void onReadable();
    void rearm();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<Slot, PreciseTimer *> m_due;
    std::uint64_t m_order = 0;
    std::chrono::nanoseconds m_armedAt{0}; // 0: disarmed
    int m_users = 0;
    int m_dispatching = 0; // depth of onReadable(); the queue outlives it
};
