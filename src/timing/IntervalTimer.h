// SPDX-License-Identifier: MIT
#pragma once

#include "TimerQueue.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// An interval timer that ticks on the event thread. Starting a running timer restarts its
// countdown, and so does setting the interval of a running timer: the repeat logic relies on both.
class IntervalTimer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual std::chrono::milliseconds interval() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    // Time until the running countdown is due; zero or less once it is due, even before its
    // tick has run (another timer due at the same moment may tick first). Negative when stopped.
    virtual std::chrono::milliseconds remainingTime() const = 0;
    bool isDue() const { return isActive() && remainingTime().count() <= 0; }

Q_SIGNALS:
    void timeout();

protected:
    void fire() { Q_EMIT timeout(); }
};

// Makes the timers of the window; tests pass one that makes timers on a virtual clock.
using TimerFactory = std::function<std::unique_ptr<IntervalTimer>()>;

// The window's timers. On Linux a timerfd wakes the event loop at the deadline itself: a
// poll() timeout, which QTimer relies on, may be stretched by the kernel by 0.1% of the wait,
// and a repeat that restarts at every tick carries each such delay into its period. All the
// timers of a thread share one timerfd (TimerQueue), armed at the earliest deadline.
class PreciseTimer final : public IntervalTimer
{
    Q_OBJECT
public:
    // Portable always takes the QTimer path, as on systems without a timerfd, so that path can be
    // tested on Linux too.
    enum class Backend { Best, Portable };

    explicit PreciseTimer(Backend backend = Backend::Best);
    ~PreciseTimer() override;
    PreciseTimer(const PreciseTimer &) = delete;
    PreciseTimer &operator=(const PreciseTimer &) = delete;

    void setInterval(std::chrono::milliseconds interval) override;
    std::chrono::milliseconds interval() const override { return m_interval; }
    void start() override;
    void stop() override;
    bool isActive() const override { return m_active; }
    std::chrono::milliseconds remainingTime() const override;

    static TimerFactory factory();

private:
    friend class TimerQueue;
    void expire(std::chrono::nanoseconds now);

    std::chrono::milliseconds m_interval{0};
    bool m_active = false;
    TimerQueue *m_queue = nullptr; // this thread's shared timerfd, where there is one
    TimerQueue::Slot m_slot{};     // in m_queue, while m_queued
    bool m_queued = false;
    QTimer m_timer;                         // elsewhere
    std::chrono::nanoseconds m_deadline{0}; // of the next tick, on TimerQueue::now()
};
