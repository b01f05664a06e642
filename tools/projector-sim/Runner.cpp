// SPDX-License-Identifier: MIT
#include "Runner.h"

#include "SerialEndpoint.h"
#include "SimIo.h"
#include "TcpFleet.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

using namespace std::chrono_literals;

std::string folderOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : path.substr(0, slash);
}

// A link left behind by a run that was killed points nowhere and is replaced; one that still
// leads to a device may belong to another simulator and is left alone.
bool placeLink(const std::string &target, const std::string &link, std::string &error)
{
    struct stat st
    {
    };
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is no symbolic link";
            return false;
        }
        if (stat(link.c_str(), &st) == 0) {
            error = link + " already leads to a device";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        error = link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// A missing folder is made, open to all to look into: /run/projector-sim for the service,
// which sees no /tmp. It goes with the link.
bool makeLink(const std::string &target, const std::string &link, std::string &error,
              bool &madeFolder)
{
    const std::string folder = folderOf(link);
    madeFolder = mkdir(folder.c_str(), 0755) == 0;
    if (madeFolder) chmod(folder.c_str(), 0755); // whatever the umask
    if (placeLink(target, link, error)) return true;
    if (madeFolder) ::rmdir(folder.c_str());
    return false;
}

void removeLink(const std::string &target, const std::string &link, bool madeFolder)
{
    char buf[4096];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) ::unlink(link.c_str());
    if (madeFolder) ::rmdir(folderOf(link).c_str()); // only when nothing else is in it
}

class Loop
{
public:
    Loop(const Options &options, SerialEndpoint &port, int logFd)
        : m_options(options), m_port(port), m_logFd(logFd), m_start(monotonicNow()),
          m_sim(options.behaviour, m_start)
    {
        if (options.flood > SimTime::zero())
            m_flood.emplace(m_start + options.flood, options.behaviour.noise,
                            options.behaviour.seed ^ 0x9E3779B9u);
        if (options.unplugAfter) m_unplugAt = m_start + *options.unplugAfter;
    }

    enum class End { Signal, Unplugged, PortLost };
    End run();

private:
    void readPort();
    void writePort(SimTime now);
    void portFailed(const char *what);

    const Options &m_options;
    SerialEndpoint &m_port;
    int m_logFd;
    SimTime m_start;
    Simulator m_sim;
    std::optional<FloodSource> m_flood;
    std::optional<SimTime> m_unplugAt;
    std::deque<std::string> m_ready; // due writes; the front may be partly written
    std::string m_floodChunk;
    SimTime m_quietUntil{};
    bool m_lost = false;
};

// Waking up regularly costs nothing and bounds the harm of any missed wake-up.
constexpr SimTime MaxWait = 500ms;
// How long to leave a port alone that reports a hang-up, since poll() would report it again
// at once and spin.
constexpr SimTime HangUpPause = 20ms;

Loop::End Loop::run()
{
    for (;;) {
        SimTime now = monotonicNow();
        if (m_unplugAt && now >= *m_unplugAt) return End::Unplugged;
        m_sim.advance(now);
        for (std::string &w : m_sim.takeDue(now)) m_ready.push_back(std::move(w));
        writePort(now);
        if (m_lost) return End::PortLost;

        const bool flooding = m_flood && m_flood->active(now);
        if (m_flood && !flooding && m_floodChunk.empty()) {
            // Said once every flood byte is on the line, so a reader can tell the end apart.
            complain("flood over");
            m_flood.reset();
        }
        SimTime wake = now + MaxWait;
        if (auto next = m_sim.nextEvent()) wake = std::min(wake, *next);
        if (m_unplugAt) wake = std::min(wake, *m_unplugAt);
        if (flooding) wake = std::min(wake, m_flood->until());
        const bool watchPort = now >= m_quietUntil;
        if (!watchPort) wake = std::min(wake, m_quietUntil);
        const bool wantWrite = !m_ready.empty() || !m_floodChunk.empty() || flooding;

        pollfd fds[2] = {{signalFd(), POLLIN, 0},
                         {watchPort ? m_port.fd() : -1,
                          static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
        const auto waitUs = std::max<SimTime::rep>(0, (wake - now).count());
        const int timeoutMs = static_cast<int>((waitUs + 999) / 1000);
        if (poll(fds, 2, timeoutMs) < 0 && errno != EINTR) {
            complain(std::string("poll: ") + std::strerror(errno));
            return End::PortLost;
        }
        if (fds[0].revents) return End::Signal;
        const short ev = fds[1].revents;
        if (ev & POLLIN)
            readPort();
        else if (ev & (POLLHUP | POLLERR))
            m_quietUntil = monotonicNow() + HangUpPause;
        if (ev & POLLNVAL) return End::PortLost;
        if (m_lost) return End::PortLost;
    }
}

void Loop::portFailed(const char *what)
{
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    if (errno == EIO && m_port.isPseudoTerminal()) {
        // Nobody has the panel's end open just now: wait for them to come back.
        m_quietUntil = monotonicNow() + HangUpPause;
        return;
    }
    complain(std::string(what) + " " + m_port.path() + ": " + std::strerror(errno));
    m_lost = true;
}

void Loop::readPort()
{
    char buf[4096];
    // Bounded, so a flood from the panel cannot starve our own writes.
    for (int i = 0; i < 16; ++i) {
        const ssize_t n = ::read(m_port.fd(), buf, sizeof buf);
        const SimTime at = monotonicNow();
        if (n < 0) {
            portFailed("read");
            return;
        }
        if (n == 0) { // a real port at end of file: treat as a hang-up
            m_quietUntil = at + HangUpPause;
            return;
        }
        for (const Simulator::Line &line :
             m_sim.receive(std::string_view(buf, static_cast<std::size_t>(n)), at)) {
            if (m_options.verbose) {
                complain(escapeLine(line.text) + " -> " +
                         (m_options.behaviour.silent ? std::string("(silent)")
                          : line.reply.empty()       ? std::string("(no reply)")
                                                     : escapeLine(line.reply)));
            }
            // Replies due at once go out before the line is logged, so whoever reads the log
            // may take it that those replies are already on the line.
            for (std::string &w : m_sim.takeDue(at)) m_ready.push_back(std::move(w));
            writePort(at);
            writeAll(m_logFd, formatLogLine(line.at, line.text));
        }
        if (static_cast<std::size_t>(n) < sizeof buf) return;
    }
}

void Loop::writePort(SimTime now)
{
    if (now < m_quietUntil) return;
    auto put = [this](std::string &pending) {
        const ssize_t n = ::write(m_port.fd(), pending.data(), pending.size());
        if (n < 0) {
            portFailed("write");
            return false;
        }
        pending.erase(0, static_cast<std::size_t>(n));
        return pending.empty();
    };
    // Each scheduled piece in a write of its own: a split reply must not be merged back.
    while (!m_ready.empty()) {
        if (!put(m_ready.front())) return;
        m_ready.pop_front();
    }
    for (int i = 0; i < 16; ++i) {
        if (m_floodChunk.empty() && m_flood) m_floodChunk = m_flood->take(256, now);
        if (m_floodChunk.empty() || !put(m_floodChunk)) return;
    }
}

// The log's descriptor, or -1 once the failure is told.
int openLog(const Options &options)
{
    if (options.logFile.isEmpty()) return STDOUT_FILENO;
    const int fd = ::open(options.logFile.toLocal8Bit().constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) complain(options.logFile.toStdString() + ": " + std::strerror(errno));
    return fd;
}

} // namespace

int run(const Options &options)
{
    std::string error;
    if (!installSignalHandlers(error)) {
        complain(error);
        return 1;
    }

    if (options.listen) {
        const int logFd = openLog(options);
        if (logFd < 0) return 1;
        const int status = runFleet(options, logFd);
        if (logFd != STDOUT_FILENO) ::close(logFd);
        return status;
    }

    std::unique_ptr<SerialEndpoint> port =
        options.device.isEmpty()
            ? SerialEndpoint::openPseudoTerminal(options.baud, error, options.group)
            : SerialEndpoint::openDevice(options.device.toStdString(), options.baud, error);
    if (!port) {
        complain(error);
        return 1;
    }

    const int logFd = openLog(options);
    if (logFd < 0) return 1;

    const std::string link = options.link.toStdString();
    bool madeFolder = false;
    if (!link.empty() && !makeLink(port->path(), link, error, madeFolder)) {
        complain(error);
        return 1;
    }

    writeAll(STDOUT_FILENO, port->path() + "\n");

    Loop loop(options, *port, logFd);
    const Loop::End end = loop.run();

    port->close();
    if (!link.empty()) removeLink(port->path(), link, madeFolder);
    if (logFd != STDOUT_FILENO) ::close(logFd);

    switch (end) {
    case Loop::End::Unplugged: complain("unplugged"); return 0;
    case Loop::End::Signal: return 0;
    case Loop::End::PortLost: return 1;
    }
    return 0;
}

} // namespace sim
