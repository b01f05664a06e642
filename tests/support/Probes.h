// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QtGlobal>

#include <ctime>

// The clock the simulator stamps its log with, so our times and its times compare directly.
inline qint64 monotonicUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Resident memory of this process, or of process `pid`, in KiB; -1 where /proc has none.
inline qint64 residentKb(qint64 pid = 0)
{
    QFile status(pid == 0 ? QStringLiteral("/proc/self/status")
                          : QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Under AddressSanitizer freed memory waits in quarantine instead of being reused, so resident
// memory grows with the traffic whatever the code does; the bound means something only in a
// normal build (the sanitizer build has its own leak check).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool ResidentMemoryIsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool ResidentMemoryIsMeaningful = false;
#else
inline constexpr bool ResidentMemoryIsMeaningful = true;
#endif
#else
inline constexpr bool ResidentMemoryIsMeaningful = true;
#endif

// Seconds from the environment for a longer run by hand; the bounded default otherwise.
inline double secondsFromEnv(const char *name, double fallback)
{
    bool ok = false;
    const double s = qEnvironmentVariable(name).toDouble(&ok);
    return ok && s > 0 ? s : fallback;
}

// Lets the application's event loop run for a while, as it runs in the real program.
// QTest::qWait sleeps 10 ms between its turns, which would stretch a 5 ms repeat to 10.
inline void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
