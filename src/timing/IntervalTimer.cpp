// SPDX-License-Identifier: MIT
#include "IntervalTimer.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#endif

using namespace std::chrono;

PreciseTimer::PreciseTimer([[maybe_unused]] Backend backend)
{
    m_clock.start();
#ifdef Q_OS_LINUX
    if (backend == Backend::Best)
        m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { onExpired(); });
        // Watched only while running: every descriptor in the set is polled again at each
        // wake-up of the loop, and a byte-per-read line wakes it 1920 times a second.
        m_notifier->setEnabled(false);
        return;
    }
#endif
    // Coarse timers may fire 5% late, which would stretch a 5 ms repeat noticeably.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
        m_deadline = nanoseconds(m_clock.nsecsElapsed()) + m_interval;
        fire();
    });
}

PreciseTimer::~PreciseTimer()
{
    m_notifier.reset();
#ifdef Q_OS_LINUX
    if (m_fd >= 0) ::close(m_fd);
#endif
}

void PreciseTimer::setInterval(milliseconds interval)
{
    m_interval = interval;
    if (m_fd < 0) m_timer.setInterval(interval);
    // Through start() on both paths: a QTimer restarts itself on a new interval, but the deadline
    // that remainingTime() and isDue() read must restart with it.
    if (m_active) start();
}

void PreciseTimer::start()
{
    m_active = true;
    m_deadline = nanoseconds(m_clock.nsecsElapsed()) + m_interval;
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        // Periodic like QTimer; a zero interval would disarm a timerfd, so it becomes 1 ns.
        const nanoseconds period = std::max<nanoseconds>(m_interval, nanoseconds(1));
        itimerspec when{};
        when.it_value.tv_sec = time_t(duration_cast<seconds>(period).count());
        when.it_value.tv_nsec = long((period % seconds(1)).count());
        when.it_interval = when.it_value;
        // Arming again also drops an expiry not yet read, so a restarted countdown is whole.
        ::timerfd_settime(m_fd, 0, &when, nullptr);
        m_notifier->setEnabled(true);
        return;
    }
#endif
    m_timer.start();
}

void PreciseTimer::stop()
{
    m_active = false;
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        const itimerspec off{};
        ::timerfd_settime(m_fd, 0, &off, nullptr);
        m_notifier->setEnabled(false);
        return;
    }
#endif
    m_timer.stop();
}

milliseconds PreciseTimer::remainingTime() const
{
    if (!m_active) return milliseconds(-1);
    // From the deadline rather than the timerfd: a periodic timerfd that has expired but not
    // been read already counts towards its next period.
    return duration_cast<milliseconds>(m_deadline - nanoseconds(m_clock.nsecsElapsed()));
}

void PreciseTimer::onExpired()
{
#ifdef Q_OS_LINUX
    std::uint64_t expirations = 0;
    // Nothing to read: the timer was stopped or restarted after the wake-up was queued.
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations) return;
    // Ticks missed while the thread was busy come as one, as QTimer's do.
    if (!m_active) return;
    const nanoseconds now(m_clock.nsecsElapsed());
    while (m_deadline <= now) m_deadline += std::max<nanoseconds>(m_interval, nanoseconds(1));
    fire();
#endif
}

TimerFactory PreciseTimer::factory()
{
    return [] { return std::make_unique<PreciseTimer>(); };
}
