// SPDX-License-Identifier: MIT
#include "TimerQueue.h"

#include "IntervalTimer.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

using namespace std::chrono;

namespace {
thread_local TimerQueue *current = nullptr;
} // namespace

TimerQueue *TimerQueue::acquire()
{
#ifdef Q_OS_LINUX
    if (!current) {
        const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (fd < 0) return nullptr;
        current = new TimerQueue(fd);
    }
    ++current->m_users;
    return current;
#else
    return nullptr;
#endif
}

void TimerQueue::release()
{
    if (--m_users > 0 || m_dispatching > 0) return;
    if (current == this) current = nullptr;
    delete this;
}

nanoseconds TimerQueue::now()
{
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch());
}

TimerQueue::TimerQueue(int fd) : m_fd(fd)
{
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { onReadable(); });
    // Watched only while a timer runs: every descriptor in the set is polled again at each
    // wake-up of the loop, and a byte-per-read line wakes it 1920 times a second.
    m_notifier->setEnabled(false);
}

TimerQueue::~TimerQueue()
{
    m_notifier.reset();
#ifdef Q_OS_LINUX
    ::close(m_fd);
#endif
}

void TimerQueue::schedule(PreciseTimer *timer, nanoseconds deadline)
{
    if (timer->m_queued) m_due.erase(timer->m_slot);
    timer->m_slot = {deadline, ++m_order};
    timer->m_queued = true;
    m_due.emplace(timer->m_slot, timer);
    // A round of ticks re-arms once, at its end.
    if (m_dispatching == 0) rearm();
}

void TimerQueue::cancel(PreciseTimer *timer)
{
    if (!timer->m_queued) return;
    const bool first = m_due.begin()->first == timer->m_slot;
    m_due.erase(timer->m_slot);
    timer->m_queued = false;
    // A later deadline may stay armed: waking for nothing costs less than a re-arm per stop.
    if (m_dispatching == 0 && (first || m_due.empty())) rearm();
}

void TimerQueue::rearm()
{
#ifdef Q_OS_LINUX
    const nanoseconds at = m_due.empty() ? nanoseconds(0) : m_due.begin()->first.first;
    if (at == m_armedAt) return;
    m_armedAt = at;
    // Zero disarms; a deadline already past fires at once.
    itimerspec when{};
    when.it_value.tv_sec = time_t(duration_cast<seconds>(at).count());
    when.it_value.tv_nsec = long((at % seconds(1)).count());
    ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr);
    m_notifier->setEnabled(!m_due.empty());
#endif
}

void TimerQueue::onReadable()
{
#ifdef Q_OS_LINUX
    std::uint64_t expirations = 0;
    // Nothing to read: re-armed after the wake-up was queued.
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations) return;
    m_armedAt = nanoseconds(-1); // spent: whatever comes next is armed anew
    const nanoseconds now = TimerQueue::now();
    // Armed during this round (a zero interval restarted from its own tick): the next round's.
    const std::uint64_t lastOfRound = m_order;
    ++m_dispatching;
    // Taken one at a time from the front: a tick may stop, restart or delete any timer.
    while (!m_due.empty()) {
        const auto first = m_due.begin();
        if (first->first.first > now || first->first.second > lastOfRound) break;
        PreciseTimer *timer = first->second;
        m_due.erase(first);
        timer->m_queued = false;
        timer->expire(now);
    }
    --m_dispatching;
    if (m_users == 0 && m_dispatching == 0) {
        if (current == this) current = nullptr;
        delete this;
        return;
    }
    rearm();
#endif
}
