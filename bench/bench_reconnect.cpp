// SPDX-License-Identifier: MIT
// A USB adapter pulled and plugged back, played by a stable name in front of pseudo-terminals:
// the wake-ups of the panel's thread while it waits for the device, and how soon after the
// device returns the port is open again. The baseline is a thread that sleeps as long.
#include "BenchCommon.h"
#include "DeviceLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include <sys/resource.h>

using namespace bench;

namespace {
// Voluntary and involuntary context switches of the calling thread: every wake-up is one.
long long threadSwitches()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw + u.ru_nivcsw;
}

// Runs the event loop for a while, or until the condition holds when it is checked after an event.
void runFor(long long ms, const std::function<bool()> &done = {})
{
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), &loop, &QEventLoop::quit);
    QTimer check; // only for the waits that end early; never while wake-ups are counted
    if (done) {
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done()) loop.quit();
        });
        check.start(1);
    }
    loop.exec();
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = hasArg(argc, argv, "--quick") ? 3 : 10;
    const long long waitMs = hasArg(argc, argv, "--quick") ? 1000 : 3000;
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("usb-adapter"));

    std::vector<double> delays, wakeups, cpuMs;
    for (int r = 0; r < rounds; ++r) {
        auto pty = std::make_unique<Pty>();
        QFile::remove(name);
        QFile::link(pty->device(), name);
        DeviceLink link(name, QString());
        if (!link.open()) return std::fprintf(stderr, "cannot open %s\n", qPrintable(name)), 1;
        bool restored = false;
        QObject::connect(&link, &SerialLink::restored, &link, [&] { restored = true; });
        QFile::remove(name);
        pty->closeMaster();
        runFor(3000, [&] { return link.isWaitingForDevice(); });

        const long long switches = threadSwitches();
        const long long cpu = threadCpuNs();
        runFor(waitMs);
        wakeups.push_back(double(threadSwitches() - switches));
        cpuMs.push_back(double(threadCpuNs() - cpu) / 1e6);

        auto again = std::make_unique<Pty>();
        const long long back = nowNs();
        QFile::link(again->device(), name);
        // Stamped by the link's own signal, not by the 1 ms check that ends the wait.
        long long reopenedAt = 0;
        QObject::connect(&link, &SerialLink::restored, &link, [&] { reopenedAt = nowNs(); });
        runFor(3000, [&] { return restored; });
        if (!restored) return std::fprintf(stderr, "not reopened\n"), 1;
        delays.push_back(double(reopenedAt - back) / 1e6);
    }

    // The same wait with nothing to wait for.
    const long long switches = threadSwitches();
    runFor(waitMs);
    const double baseline = double(threadSwitches() - switches);

    const double median = percentile(delays, 50), worst = percentile(delays, 100);
    row("Reconnect after the device returns (median)", fmt("%.1f ms", median), "-",
        fmt("worst %.1f ms", worst), "< 1000 ms", worst < 1000);
    row(fmt("Wake-ups while the device is away, per %.0f s", double(waitMs) / 1000),
        fmt("%.0f", percentile(wakeups, 50)), fmt("%.0f (idle loop)", baseline),
        fmt("%+.0f", percentile(wakeups, 50) - baseline), "as idle",
        percentile(wakeups, 50) <= baseline + 2);
    note(fmt("reconnect: %.0f rounds; ", double(rounds)) +
         fmt("CPU while waiting %.2f ms per round (median)", percentile(cpuMs, 50)));
    return 0;
}
