// SPDX-License-Identifier: MIT
// The panel's start as main() does it, with a hook that notes when the window is first shown.
// Keep the steps in step with src/app/main.cpp.
#include "DeviceLink.h"
#include "Form1.h"
#include "Panel.h"
#include "PanelVersion.h"
#include "ShownHook.h"

#include <QApplication>
#include <QCommandLineParser>

namespace {
// With --steps, where the start-up time goes, on stderr.
void step(bool on, long long t0, const char *what)
{
    if (on) std::fprintf(stderr, "STEP %8.2f ms  %s\n", (bench::nowNs() - t0) / 1e6, what);
}
} // namespace

int main(int argc, char *argv[])
{
    const long long t0 = bench::startTime(argc, argv);
    const bool steps = bench::hasArg(argc, argv, "--steps");
    step(steps, t0, "main() entered");
    QApplication app(argc, argv);
    step(steps, t0, "QApplication constructed");
    QApplication::setApplicationName(QStringLiteral("projector-panel"));
    QApplication::setApplicationVersion(QLatin1String(PanelVersion));
    Form1::prepareApplication();

    QCommandLineParser parser;
    const QCommandLineOption com1(QStringLiteral("com1"), QStringLiteral("Serial port 1."),
                                  QStringLiteral("DEVICE"), DeviceLink::defaultDevice(1));
    const QCommandLineOption com2(QStringLiteral("com2"), QStringLiteral("Serial port 2."),
                                  QStringLiteral("DEVICE"), DeviceLink::defaultDevice(2));
    const QCommandLineOption t0Option(QStringLiteral("t0"), QStringLiteral("Start time."),
                                      QStringLiteral("NS"));
    const QCommandLineOption stay(QStringLiteral("stay"), QStringLiteral("Keep running."));
    const QCommandLineOption stepsOption(QStringLiteral("steps"), QStringLiteral("Print steps."));
    parser.addOptions({com1, com2, t0Option, stay, stepsOption});
    parser.process(app);

    DeviceLink link(parser.value(com1), parser.value(com2));
    Panel panel(link, PreciseTimer::factory());
    step(steps, t0, "style, fonts, command line, link and panel");
    Form1 form(panel);
    step(steps, t0, "Form1 built");
    form.place();
    if (!panel.load()) {
        std::fprintf(stderr, "bench_startup_panel: %s\n", qPrintable(link.errorString()));
        return 1;
    }
    step(steps, t0, "placed and port opened");
    form.show();
    step(steps, t0, "show() returned");
    bench::ShownHook hook(form.windowHandle(), t0, parser.isSet(stay));
    return QApplication::exec();
}
