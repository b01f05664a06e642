// SPDX-License-Identifier: MIT
// The baseline for start-up, memory and idle: a bare Qt Widgets window of the panel's size
// (with --label, the same window with one line of text).
#include "ShownHook.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char **argv)
{
    const long long t0 = bench::startTime(argc, argv);
    const bool steps = bench::hasArg(argc, argv, "--steps");
    const auto step = [&](const char *what) {
        if (steps) std::fprintf(stderr, "STEP %8.2f ms  %s\n", (bench::nowNs() - t0) / 1e6, what);
    };
    step("main() entered");
    QApplication app(argc, argv);
    step("QApplication constructed");
    QWidget window;
    window.setFixedSize(633, 322); // the panel's client size at its normal height
    // With --label, the cheapest window that draws text, and so loads the font system.
    if (bench::hasArg(argc, argv, "--label")) {
        auto *label = new QLabel(QStringLiteral("POWER ON"), &window);
        label->move(10, 10);
    }
    window.show();
    step("show() returned");
    bench::ShownHook hook(window.windowHandle(), t0, bench::hasArg(argc, argv, "--stay"));
    return QApplication::exec();
}
