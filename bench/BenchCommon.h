// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "Pty.h" // the pseudo-terminal the tests use

extern char **environ;

namespace bench {

inline long long nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// CPU time of the calling thread: what the receive path costs, whatever else runs on the machine.
inline long long threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

inline bool hasArg(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

inline const char *argValue(int argc, char **argv, const char *name)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    return nullptr;
}

// Nearest-rank percentile; p in [0, 100]. Sorts the samples in place.
inline double percentile(std::vector<double> &v, double p)
{
    if (v.empty()) return 0;
    if (!std::is_sorted(v.begin(), v.end())) std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(p / 100.0 * double(v.size() - 1) + 0.5);
    return v[std::min(rank, v.size() - 1)];
}

inline std::string fmt(const char *format, double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

// One line of the summary table; scripts/bench collects these from every program.
inline void row(const std::string &figure, const std::string &measured, const std::string &baseline,
                const std::string &compare, const std::string &goal, const char *met)
{
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), measured.c_str(), baseline.c_str(),
                compare.c_str(), goal.c_str(), met);
    std::fflush(stdout);
}
inline void row(const std::string &figure, const std::string &measured, const std::string &baseline,
                const std::string &compare, const std::string &goal, bool met)
{
    row(figure, measured, baseline, compare, goal, met ? "yes" : "NO");
}

// Details that explain a row; printed beside the table, not in it.
// The load averages over 1, 5 and 15 minutes, as /proc/loadavg gives them; "?" without it.
inline std::string loadAverage()
{
    double one = 0, five = 0, fifteen = 0;
    FILE *f = std::fopen("/proc/loadavg", "r");
    const bool read = f && std::fscanf(f, "%lf %lf %lf", &one, &five, &fifteen) == 3;
    if (f) std::fclose(f);
    char text[64] = "?";
    if (read) std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
    return text;
}

inline void note(const std::string &text)
{
    std::printf("NOTE\t%s\n", text.c_str());
    std::fflush(stdout);
}

// Reads the master side on its own thread and stamps every CR-terminated line with the
// CLOCK_MONOTONIC time of the read() that completed it.
class LineReader
{
public:
    struct Line
    {
        long long atNs;
        std::string text;
    };

    explicit LineReader(int fd) : m_fd(fd)
    {
        if (::pipe(m_stop) != 0) std::abort();
        m_thread = std::thread([this] { run(); });
    }
    ~LineReader()
    {
        const char c = 0;
        [[maybe_unused]] const auto n = ::write(m_stop[1], &c, 1);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }

    // Waits for the line after the first `seen` ones; its time, or -1 on timeout.
    long long waitForLine(std::size_t seen, int timeoutMs = 2000)
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return m_lines.size() > seen; }))
            return -1;
        return m_lines[seen].atNs;
    }
    std::size_t count()
    {
        std::lock_guard lock(m_mutex);
        return m_lines.size();
    }
    std::vector<Line> lines()
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    void run()
    {
        std::string pending;
        char buf[4096];
        for (;;) {
            pollfd p[2] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0) continue;
            if (p[1].revents) return;
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            const long long at = nowNs();
            if (n <= 0) continue;
            std::lock_guard lock(m_mutex);
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\r') {
                    m_lines.push_back({at, pending});
                    pending.clear();
                } else {
                    pending += buf[i];
                }
            }
            m_cv.notify_all();
        }
    }

    int m_fd;
    int m_stop[2] = {-1, -1};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Line> m_lines;
    std::thread m_thread;
};

struct Exit
{
    double ms;
    double peakMb;
    int status;
};

// Runs a program from exec to exit, its output to /dev/null.
inline Exit runOnce(std::vector<std::string> args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const long long t0 = nowNs();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        qFatal("cannot start %s", argv[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const long long t1 = nowNs();
    posix_spawn_file_actions_destroy(&actions);
    return {(t1 - t0) / 1e6, usage.ru_maxrss / 1024.0,
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

} // namespace bench
