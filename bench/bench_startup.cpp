// SPDX-License-Identifier: MIT
// Start-up, memory and idle. Launches the panel's start (with a shown hook) and a bare window
// alternately, each with the launch time on its command line, and reads back when its window
// was first shown and its peak RSS. Then watches the real program and the bare window sit idle.
#include "BenchCommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <csignal>
#include <map>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using namespace bench;

namespace {

struct Child
{
    pid_t pid = -1;
    int out = -1; // its stdout
};

Child launch(const std::vector<std::string> &args, long long *t0 = nullptr)
{
    int fds[2];
    if (::pipe(fds) != 0) qFatal("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<std::string> full = args;
    std::vector<char *> argv;
    if (t0) {
        full.push_back("--t0");
        full.push_back(""); // filled in just before the spawn
    }
    Child c;
    long long start = nowNs();
    if (t0) full.back() = std::to_string(start);
    for (auto &a : full) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (t0) *t0 = start;
    if (posix_spawn(&c.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        qFatal("cannot start %s", argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    c.out = fds[0];
    return c;
}

// The child's "SHOWN <ns> <kB>" line.
bool readShown(const Child &c, long long *ns, long *kb, int timeoutMs = 30000)
{
    std::string text;
    const long long end = nowNs() + timeoutMs * 1000000LL;
    while (text.find('\n') == std::string::npos) {
        const long long left = (end - nowNs()) / 1000000;
        if (left <= 0) return false;
        pollfd p{c.out, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0) return false;
        char buf[256];
        const ssize_t n = ::read(c.out, buf, sizeof buf);
        if (n <= 0) return false;
        text.append(buf, n);
    }
    return std::sscanf(text.c_str(), "SHOWN %lld %ld", ns, kb) == 2;
}

int reap(Child &c)
{
    int status = 0;
    ::waitpid(c.pid, &status, 0);
    ::close(c.out);
    c.pid = -1;
    return status;
}

void stop(Child &c)
{
    if (c.pid > 0) ::kill(c.pid, SIGTERM);
    reap(c);
}

// Voluntary and involuntary context switches of every thread of a process.
std::pair<long long, long long> contextSwitches(pid_t pid, int *threads = nullptr)
{
    long long voluntary = 0, involuntary = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads) *threads = int(ids.size());
    for (const QString &id : ids) {
        QFile f(tasks.filePath(id + QStringLiteral("/status")));
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                voluntary += line.mid(24).trimmed().toLongLong();
            else if (line.startsWith("nonvoluntary_ctxt_switches:"))
                involuntary += line.mid(27).trimmed().toLongLong();
        }
    }
    return {voluntary, involuntary};
}

double median(std::vector<double> &v)
{
    return percentile(v, 50);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool quick = hasArg(argc, argv, "--quick");
    QCoreApplication app(argc, argv);

    Pty pty;
    if (!pty.ok()) qFatal("no pseudo-terminal");
    const std::string device = pty.device().toStdString();
    const std::vector<std::string> panelArgs{STARTUP_PANEL_EXE, "--com1", device};
    const std::vector<std::string> bareArgs{STARTUP_BARE_EXE};

    // Alternating, after one unrecorded start of each so that all find the libraries cached.
    // Besides the bare window, a bare window with one label: the cheapest window that draws
    // text, and so the first to pay for loading the font system before its first frame.
    const std::vector<std::string> labelArgs{STARTUP_BARE_EXE, "--label"};
    const std::vector<std::string> *kinds[] = {&panelArgs, &bareArgs, &labelArgs};
    const int runs = quick ? 5 : 15;
    std::vector<double> ms[3], kb[3];
    for (int i = -1; i < runs; ++i) {
        for (int k = 0; k < 3; ++k) {
            long long t0 = 0, ns = 0;
            long peak = 0;
            Child c = launch(*kinds[k], &t0);
            if (!readShown(c, &ns, &peak))
                qFatal("%s never showed its window", kinds[k]->front().c_str());
            reap(c);
            if (i < 0) continue;
            ms[k].push_back(ns / 1e6);
            kb[k].push_back(double(peak));
        }
    }
    const auto range = [&](int k) {
        return fmt("%.1f", median(ms[k])) + " ms (min " + fmt("%.1f", percentile(ms[k], 0)) +
               ", max " + fmt("%.1f", percentile(ms[k], 100)) + ")";
    };
    note("start-up over " + std::to_string(runs) +
         " launches each, exec to first expose handled: "
         "panel " +
         range(0) + ", bare window " + range(1) + ", bare window with one label " + range(2) +
         "; peak RSS medians " + fmt("%.1f", median(kb[0]) / 1024) + " / " +
         fmt("%.1f", median(kb[1]) / 1024) + " / " + fmt("%.1f", median(kb[2]) / 1024) + " MB");
    const double pMs = median(ms[0]), bMs = median(ms[1]), lMs = median(ms[2]);
    const double pMb = median(kb[0]) / 1024, bMb = median(kb[1]) / 1024, lMb = median(kb[2]) / 1024;
    row("Start-up, exec to window shown (ms, median)", fmt("%.1f", pMs), fmt("%.1f", bMs),
        fmt("%.2fx", pMs / bMs), "<= 1.3x", pMs <= 1.3 * bMs);
    row("  same, against a bare window with one label", fmt("%.1f", pMs), fmt("%.1f", lMs),
        fmt("%.2fx", pMs / lMs), "(reference)", "-");
    row("Peak resident memory when shown (MB, median)", fmt("%.1f", pMb), fmt("%.1f", bMb),
        fmt("%.2fx", pMb / bMb), "<= 1.3x", pMb <= 1.3 * bMb);
    row("  same, against a bare window with one label", fmt("%.1f", pMb), fmt("%.1f", lMb),
        fmt("%.2fx", pMb / lMb), "(reference)", "-");

    // Idle: the real program on the pty and the bare window, side by side.
    const int settleMs = quick ? 2000 : 3000;
    const int watchS = quick ? 3 : 10;
    Child panel = launch({PANEL_EXE, "--com1", device});
    Child bare = launch({STARTUP_BARE_EXE, "--stay"});
    ::usleep(settleMs * 1000);
    int threadsP = 0, threadsB = 0;
    const auto p0 = contextSwitches(panel.pid, &threadsP),
               b0 = contextSwitches(bare.pid, &threadsB);
    ::sleep(watchS);
    const auto p1 = contextSwitches(panel.pid), b1 = contextSwitches(bare.pid);
    int status = 0;
    const bool panelAlive = ::waitpid(panel.pid, &status, WNOHANG) == 0;
    stop(panel);
    stop(bare);
    if (!panelAlive) qFatal("projector-panel ended during the idle watch");
    const double pRate = double(p1.first - p0.first) / watchS;
    const double bRate = double(b1.first - b0.first) / watchS;
    note("idle over " + std::to_string(watchS) + " s after " + std::to_string(settleMs) +
         " ms settling: projector-panel " + std::to_string(p1.first - p0.first) + " voluntary, " +
         std::to_string(p1.second - p0.second) + " involuntary switches, " +
         std::to_string(threadsP) + " threads; bare window " + std::to_string(b1.first - b0.first) +
         " voluntary, " + std::to_string(b1.second - b0.second) + " involuntary, " +
         std::to_string(threadsB) + " threads");
    row("Idle: voluntary context switches per second", fmt("%.2f", pRate), fmt("%.2f", bRate),
        fmt("%+.2f /s", pRate - bRate), "< 1 /s", pRate < 1);
    return 0;
}
