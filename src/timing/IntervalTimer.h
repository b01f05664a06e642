// SPDX-License-Identifier: MIT
#pragma once

#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// An interval timer that ticks on the event thread. Starting a running timer restarts its
// countdown, and so does setting the interval of a running timer: the repeat logic relies on both.
class IntervalTimer
{
public:
    virtual ~IntervalTimer() = default;

    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual std::chrono::milliseconds interval() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

    void setHandler(std::function<void()> handler) { m_handler = std::move(handler); }

protected:
    void fire()
    {
        if (m_handler) m_handler();
    }

private:
    std::function<void()> m_handler;
};

// Makes the timers of the window; tests pass one that makes timers on a virtual clock.
using TimerFactory = std::function<std::unique_ptr<IntervalTimer>()>;

class PreciseTimer final : public IntervalTimer
{
public:
    PreciseTimer();

    void setInterval(std::chrono::milliseconds interval) override;
    std::chrono::milliseconds interval() const override;
    void start() override;
    void stop() override;
    bool isActive() const override;
    // Time left in the running countdown; negative when stopped.
    std::chrono::milliseconds remainingTime() const { return m_timer.remainingTimeAsDuration(); }
    Qt::TimerType timerType() const { return m_timer.timerType(); }

    static TimerFactory factory();

private:
    QTimer m_timer;
};
