// SPDX-License-Identifier: MIT
// projector-ctl from exec to exit: one status read against the simulator, alternated with a
// bare Qt Core program that opens the same pseudo-terminal and exits. The status read itself
// waits out the 500 ms reply window, so the difference minus the window is what the program
// costs beyond the bare start.
#include "BenchCommon.h"
#include "SimProcess.h"

#include <QCoreApplication>

using namespace bench;

int main(int argc, char **argv)
{
    const bool quick = hasArg(argc, argv, "--quick");
    QCoreApplication app(argc, argv);
    SimProcess sim;
    if (!sim.start({})) qFatal("projector-sim did not start: %s", sim.errors().constData());
    const std::string device = sim.device().toStdString();
    const std::vector<std::string> ctlArgs{CTL_EXE, "--device", device, "status"};
    const std::vector<std::string> bareArgs{CTL_BARE_EXE, device};

    const int runs = quick ? 5 : 15;
    std::vector<double> ms[2], mb[2];
    for (int i = -1; i < runs; ++i) {
        const Exit ctl = runOnce(ctlArgs);
        const Exit bare = runOnce(bareArgs);
        if (ctl.status != 0 || bare.status != 0)
            qFatal("exit status %d (projector-ctl), %d (bare)", ctl.status, bare.status);
        if (i < 0) continue; // one unrecorded run each, so that all find the libraries cached
        ms[0].push_back(ctl.ms);
        ms[1].push_back(bare.ms);
        mb[0].push_back(ctl.peakMb);
        mb[1].push_back(bare.peakMb);
    }
    const double c = percentile(ms[0], 50), b = percentile(ms[1], 50);
    const double overhead = c - b - 500;
    note("projector-ctl status over " + std::to_string(runs) + " runs each, exec to exit: " +
         fmt("%.1f", c) + " ms (min " + fmt("%.1f", percentile(ms[0], 0)) + ", max " +
         fmt("%.1f", percentile(ms[0], 100)) + "), bare Qt Core program opening the same pty " +
         fmt("%.1f", b) + " ms (min " + fmt("%.1f", percentile(ms[1], 0)) + ", max " +
         fmt("%.1f", percentile(ms[1], 100)) + "); the reply window is 500 ms of the difference");
    row("projector-ctl status, exec to exit (ms, median)", fmt("%.1f", c), fmt("%.1f", b),
        "+" + fmt("%.1f", overhead) + " ms beyond the 500 ms window", "< +50 ms", overhead < 50);
    const double cm = percentile(mb[0], 50), bm = percentile(mb[1], 50);
    row("projector-ctl status, peak resident memory (MB, median)", fmt("%.1f", cm), fmt("%.1f", bm),
        fmt("%.2fx", cm / bm), "<= 1.2x", cm <= 1.2 * bm);
    return 0;
}
