// SPDX-License-Identifier: MIT
// Repeat timing: a held button in the real window, on the real event loop and PreciseTimer, with
// each line's arrival stamped on the far side of a pseudo-terminal. The baseline is a bare
// periodic precise QTimer writing to the same pty from the same event loop.
#include "BenchCommon.h"
#include "DeviceLink.h"
#include "Form1.h"
#include "Panel.h"
#include "WindowRig.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <numeric>

using namespace bench;

namespace {

struct Case
{
    int periodMs;
    const char *how;
    const char *prelude; // clicked (one-shot) before the hold, or null
    bool preludeIsHeld;  // the prelude is a held button: pressed and released
    const char *held;    // the button held
    const char *code;    // what it sends
    int fullSamples, quickSamples;
};

const Case Cases[] = {
    {5, "D.Zoom + released, then up arrow", "Command48", true, "Command5", "C3C", 2000, 400},
    {50, "Zoom +", nullptr, false, "Command15", "C47", 400, 100},
    {100, "FOCUS, then up arrow", "Command11", false, "Command5", "C3C", 200, 50},
    {250, "VOL +", nullptr, false, "Command1", "C09", 120, 24},
    {500, "SELECT", nullptr, false, "Command6", "C3F", 100, 12},
};

void runLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Errors
{
    std::vector<double> ms;
    double meanInterval = 0;
};

Errors intervalErrors(const std::vector<LineReader::Line> &lines, const std::string &code,
                      int periodMs)
{
    std::vector<long long> at;
    for (const auto &l : lines)
        if (l.text == code) at.push_back(l.atNs);
    Errors e;
    for (std::size_t i = 1; i < at.size(); ++i) {
        const double interval = (at[i] - at[i - 1]) / 1e6;
        e.ms.push_back(std::fabs(interval - periodMs));
        e.meanInterval += interval;
    }
    if (!e.ms.empty()) e.meanInterval /= double(e.ms.size());
    return e;
}

} // namespace

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
    QWindow *window = form.windowHandle();
    const auto centre = [&](const char *name) {
        QWidget *w = form.findChild<QWidget *>(QLatin1String(name));
        if (!w) qFatal("no control %s", name);
        return w->mapTo(&form, w->rect().center());
    };

    LineReader reader(pty.master());
    for (const Case &c : Cases) {
        const int samples = quick ? c.quickSamples : c.fullSamples;
        if (c.prelude) {
            if (c.preludeIsHeld) {
                QTest::mousePress(window, Qt::LeftButton, {}, centre(c.prelude));
                QTest::mouseRelease(window, Qt::LeftButton, {}, centre(c.prelude));
            } else {
                QTest::mouseClick(window, Qt::LeftButton, {}, centre(c.prelude));
            }
        }
        runLoopFor(1200); // every reply window and display clear of the prelude is over
        reader.clear();

        QTest::mousePress(window, Qt::LeftButton, {}, centre(c.held));
        runLoopFor(c.periodMs * samples + c.periodMs / 2);
        QTest::mouseRelease(window, Qt::LeftButton, {}, centre(c.held));
        runLoopFor(50);
        Errors panelErr = intervalErrors(reader.lines(), c.code, c.periodMs);
        runLoopFor(1200);

        // The baseline: the best this event loop does with a periodic precise timer.
        reader.clear();
        QTimer bare;
        bare.setTimerType(Qt::PreciseTimer);
        bare.setInterval(std::chrono::milliseconds(c.periodMs));
        QObject::connect(&bare, &QTimer::timeout, &bare,
                         [&] { [[maybe_unused]] auto n = ::write(pty.slave(), "B00\r", 4); });
        [[maybe_unused]] auto n = ::write(pty.slave(), "B00\r", 4);
        bare.start();
        runLoopFor(c.periodMs * samples + c.periodMs / 2);
        bare.stop();
        runLoopFor(50);
        Errors bareErr = intervalErrors(reader.lines(), "B00", c.periodMs);

        const double med = percentile(panelErr.ms, 50), p99 = percentile(panelErr.ms, 99);
        const double bMed = percentile(bareErr.ms, 50), bP99 = percentile(bareErr.ms, 99);
        note("repeat " + std::to_string(c.periodMs) + " ms (" + c.how +
             "): " + std::to_string(panelErr.ms.size()) + " intervals, mean interval " +
             fmt("%.3f", panelErr.meanInterval) + " ms, error |interval - period| median " +
             fmt("%.3f", med) + " p90 " + fmt("%.3f", percentile(panelErr.ms, 90)) + " p99 " +
             fmt("%.3f", p99) + " max " + fmt("%.3f", percentile(panelErr.ms, 100)) +
             " ms; bare periodic timer: mean " + fmt("%.3f", bareErr.meanInterval) +
             " ms, median " + fmt("%.3f", bMed) + " p99 " + fmt("%.3f", bP99) + " ms");
        if (panelErr.ms.size() + 1 < std::size_t(samples))
            note("repeat " + std::to_string(c.periodMs) + " ms: a hold of " +
                 std::to_string(samples) + " periods gave " + std::to_string(panelErr.ms.size()) +
                 " intervals: every late tick pushes all later ones back");
        row("Repeat " + std::to_string(c.periodMs) + " ms (" + c.how + "), error median / p99 (ms)",
            fmt("%.3f", med) + " / " + fmt("%.3f", p99),
            fmt("%.3f", bMed) + " / " + fmt("%.3f", bP99),
            fmt("%+.3f", med - bMed) + " / " + fmt("%+.3f", p99 - bP99), "< 0.2 / < 1",
            med < 0.2 && p99 < 1.0);
    }
    note("no button repeats every 25 ms: the periods are 5 (arrows after D.Zoom), 50 (lens "
         "buttons, arrows after ZOOM), 100 (arrows after FOCUS), 200 (arrows after MENU ON or "
         "A-IMAGE), 250 and 500 ms; 25 ms is only a reply window");
    return 0;
}
