// SPDX-License-Identifier: MIT
#pragma once

#include "BenchCommon.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <cstdlib>

#include <sys/resource.h>

namespace bench {

// Notes the moment the window's first expose has been handled (and so the first frame
// painted): a zero timer queued from the expose runs right after it. Prints
// "SHOWN <ns since t0> <peak RSS kB>", then quits unless asked to stay.
class ShownHook final : public QObject
{
public:
    ShownHook(QWindow *window, long long t0, bool stay) : m_t0(t0), m_stay(stay)
    {
        window->installEventFilter(this);
        if (window->isExposed()) done();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, this, [this] { done(); });
        }
        return false;
    }

private:
    void done()
    {
        const long long shown = nowNs();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("SHOWN %lld %ld\n", shown - m_t0, usage.ru_maxrss);
        std::fflush(stdout);
        if (!m_stay) QCoreApplication::quit();
    }

    long long m_t0;
    bool m_stay;
    bool m_seen = false;
};

inline long long startTime(int argc, char **argv)
{
    const char *t0 = argValue(argc, argv, "--t0");
    return t0 ? std::atoll(t0) : nowNs();
}

} // namespace bench
