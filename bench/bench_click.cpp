// SPDX-License-Identifier: MIT
// Click to wire: a real mouse click on POWER ON in the real window (offscreen), until the bytes
// are readable on the far side of a pseudo-terminal; beside the same pty's bare write-to-read.
#include "BenchCommon.h"
#include "ClickProbe.h"
#include "DeviceLink.h"
#include "Form1.h"
#include "Panel.h"
#include "WindowRig.h"

#include <QApplication>
#include <QTest>

using namespace bench;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool quick = hasArg(argc, argv, "--quick");
    QApplication app(argc, argv);
    Form1::prepareApplication();

    Pty pty;
    if (!pty.ok()) qFatal("no pseudo-terminal");
    DeviceLink link(pty.device(), pty.device());
    WindowRig running(link, PreciseTimer::factory());
    if (!running.panel.load() || !running.show())
        qFatal("cannot start on %s", qPrintable(pty.device()));
    Form1 &form = running.form;

    Clicker powerOn(form, QStringLiteral("Command17"));
    const auto readLine = [&] { return bench::readLine(pty.master()); };

    const int clicks = quick ? 300 : 2000;
    const int warmUp = 50;
    std::vector<double> clickUs, rawUs, writtenUs;
    for (int i = 0; i < warmUp + clicks; ++i) {
        // Whatever the last click left to paint is painted now, outside the timed span.
        QCoreApplication::processEvents();

        const long long t0 = nowNs();
        powerOn.click();
        const long long written = nowNs();
        if (!readLine()) qFatal("click %d: C00 did not arrive", i);
        const long long arrived = nowNs();

        // The same four bytes through the same pty, without the panel.
        const long long r0 = nowNs();
        if (::write(pty.slave(), "C00\r", 4) != 4) qFatal("raw write failed");
        if (!readLine()) qFatal("raw %d: nothing arrived", i);
        const long long rawArrived = nowNs();

        if (i < warmUp) continue;
        clickUs.push_back((arrived - t0) / 1e3);
        writtenUs.push_back((written - t0) / 1e3);
        rawUs.push_back((rawArrived - r0) / 1e3);
    }

    const double med = percentile(clickUs, 50), p99 = percentile(clickUs, 99);
    const double rawMed = percentile(rawUs, 50), rawP99 = percentile(rawUs, 99);
    note("click to wire over " + std::to_string(clicks) +
         " mouse clicks on POWER ON, delivered to the QWindow as QTest delivers them, so Qt "
         "routes press and release to the button: median " +
         fmt("%.1f", med) + " us, p90 " + fmt("%.1f", percentile(clickUs, 90)) + " us, p99 " +
         fmt("%.1f", p99) + " us, max " + fmt("%.1f", percentile(clickUs, 100)) + " us");
    note("click to write() returned (in the panel only): median " +
         fmt("%.1f", percentile(writtenUs, 50)) + " us, p99 " +
         fmt("%.1f", percentile(writtenUs, 99)) + " us, max " +
         fmt("%.1f", percentile(writtenUs, 100)) + " us");
    note("raw pty write()->read(): median " + fmt("%.1f", rawMed) + " us, p99 " +
         fmt("%.1f", rawP99) + " us, max " + fmt("%.1f", percentile(rawUs, 100)) + " us");
    row("Click to wire, p99 (us)", fmt("%.1f", p99), fmt("%.1f", rawP99),
        "+" + fmt("%.1f", p99 - rawP99) + " us", "< 1000 us", p99 < 1000);
    row("Click to wire, median (us)", fmt("%.1f", med), fmt("%.1f", rawMed),
        fmt("%.1fx", med / rawMed), "<= 10x raw", med <= 10 * rawMed);
    return 0;
}
