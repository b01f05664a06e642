// SPDX-License-Identifier: MIT
#include "TcpFleet.h"

#include "SimIo.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {

using namespace std::chrono_literals;

// Replies a client may leave unread before it is dropped: far more than any panel leaves, far
// less than a leak. A small send buffer makes the kernel's share small too.
constexpr std::size_t MaxUnsent = 64 * 1024;
constexpr int SendBuffer = 16 * 1024;
constexpr SimTime MaxWait = 500ms;

class Fd
{
public:
    Fd() = default;
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    void reset(int fd = -1)
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// One projector behind one port. Its state outlives every connection.
struct Station
{
    Station(int port, std::string name, Simulator::Behaviour behaviour, SimTime start)
        : port(port), name(std::move(name)), sim(std::move(behaviour), start)
    {
    }
    int port;
    std::string name; // ADDR:PORT, for messages
    Fd listener;
    Fd client;
    Simulator sim;
    std::deque<std::string> ready; // due writes; the front may be partly written
    std::size_t readyBytes = 0;
};

class Fleet
{
public:
    Fleet(const Options &options, int logFd);
    bool listen(std::string &error);
    std::string portRange() const;

    enum class End { Signal, Unplugged, Failed };
    End run();

private:
    void accept(Station &s);
    void read(Station &s);
    void queue(Station &s, std::deque<std::string> writes);
    void write(Station &s);
    void disconnect(Station &s);
    void drop(Station &s, const std::string &why);

    const Options &m_options;
    const ListenAt &m_at;
    int m_logFd;
    std::vector<std::unique_ptr<Station>> m_stations;
    std::optional<SimTime> m_unplugAt;
    std::vector<pollfd> m_fds;
};

std::string hostPart(const ListenAt &at)
{
    return at.v6 ? "[" + at.address + "]" : at.address;
}

Fleet::Fleet(const Options &options, int logFd)
    : m_options(options), m_at(*options.listen), m_logFd(logFd)
{
    const SimTime start = monotonicNow();
    for (int i = 0; i < m_at.count; ++i) {
        Simulator::Behaviour b = options.behaviour;
        b.seed += static_cast<std::uint32_t>(i); // each its own noise, the run still repeatable
        const int port = m_at.port + i;
        m_stations.push_back(std::make_unique<Station>(
            port, hostPart(m_at) + ":" + std::to_string(port), std::move(b), start));
    }
    if (options.unplugAfter) m_unplugAt = start + *options.unplugAfter;
}

std::string Fleet::portRange() const
{
    std::string range = hostPart(m_at) + ":" + std::to_string(m_at.port);
    if (m_at.count > 1) range += "-" + std::to_string(m_at.port + m_at.count - 1);
    return range;
}

bool Fleet::listen(std::string &error)
{
    sockaddr_storage addr{};
    socklen_t len = 0;
    if (m_at.v6) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&addr);
        a->sin6_family = AF_INET6;
        inet_pton(AF_INET6, m_at.address.c_str(), &a->sin6_addr);
        len = sizeof *a;
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&addr);
        a->sin_family = AF_INET;
        inet_pton(AF_INET, m_at.address.c_str(), &a->sin_addr);
        len = sizeof *a;
    }
    for (auto &s : m_stations) {
        const auto port = htons(static_cast<std::uint16_t>(s->port));
        if (m_at.v6)
            reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_port = port;
        else
            reinterpret_cast<sockaddr_in *>(&addr)->sin_port = port;
        s->listener.reset(::socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        const int on = 1;
        // A run started again at once finds its ports still held by the last one's closing
        // connections otherwise.
        if (!s->listener ||
            setsockopt(s->listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
            ::bind(s->listener.get(), reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
            ::listen(s->listener.get(), 4) != 0) {
            error = s->name + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

Fleet::End Fleet::run()
{
    for (;;) {
        const SimTime now = monotonicNow();
        if (m_unplugAt && now >= *m_unplugAt) return End::Unplugged;
        SimTime wake = now + MaxWait;
        if (m_unplugAt) wake = std::min(wake, *m_unplugAt);
        m_fds.assign(1, {signalFd(), POLLIN, 0});
        for (auto &s : m_stations) {
            s->sim.advance(now);
            queue(*s, s->sim.takeDue(now));
            if (auto next = s->sim.nextEvent()) wake = std::min(wake, *next);
            m_fds.push_back({s->listener.get(), POLLIN, 0});
            m_fds.push_back({s->client.get(),
                             static_cast<short>(POLLIN | (s->ready.empty() ? 0 : POLLOUT)), 0});
        }
        const auto waitUs = std::max<SimTime::rep>(0, (wake - now).count());
        if (poll(m_fds.data(), m_fds.size(), static_cast<int>((waitUs + 999) / 1000)) < 0 &&
            errno != EINTR) {
            complain(std::string("poll: ") + std::strerror(errno));
            return End::Failed;
        }
        if (m_fds[0].revents) return End::Signal;
        for (std::size_t i = 0; i < m_stations.size(); ++i) {
            Station &s = *m_stations[i];
            // The client first, so one that has just left makes room for the next.
            const short ev = m_fds[2 * i + 2].revents;
            if (ev & POLLOUT) write(s);
            if (ev & (POLLIN | POLLHUP | POLLERR) && s.client) read(s);
            if (m_fds[2 * i + 1].revents & POLLIN) accept(s);
        }
    }
}

void Fleet::accept(Station &s)
{
    for (;;) {
        const int fd = ::accept4(s.listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                complain(s.name + ": accept: " + std::strerror(errno));
            return;
        }
        if (s.client) {
            // A device server's port serves one client; a second would only garble the line.
            ::close(fd);
            if (m_options.verbose) complain(s.name + ": busy, another client turned away");
            continue;
        }
        const int on = 1;
        // Each reply, and each byte of a split one, in a segment of its own, as on the line.
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &SendBuffer, sizeof SendBuffer);
        s.client.reset(fd);
    }
}

void Fleet::read(Station &s)
{
    char buf[4096];
    // Bounded, so one busy client cannot starve the others.
    for (int i = 0; i < 16 && s.client; ++i) {
        const ssize_t n = ::read(s.client.get(), buf, sizeof buf);
        const SimTime at = monotonicNow();
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // A client that closes with replies unread resets the connection: it left all the same.
        if (n < 0 && errno != ECONNRESET) {
            drop(s, std::strerror(errno));
            return;
        }
        if (n <= 0) { // the client left; the projector stays as it is
            disconnect(s);
            return;
        }
        for (const Simulator::Line &line :
             s.sim.receive(std::string_view(buf, static_cast<std::size_t>(n)), at)) {
            if (m_options.verbose) {
                complain(s.name + ": " + escapeLine(line.text) + " -> " +
                         (m_options.behaviour.silent ? std::string("(silent)")
                          : line.reply.empty()       ? std::string("(no reply)")
                                                     : escapeLine(line.reply)));
            }
            // As on the serial line: what is due goes out before the line is logged.
            queue(s, s.sim.takeDue(at));
            writeAll(m_logFd, std::to_string(at.count()) + " " + std::to_string(s.port) + " " +
                                  escapeLine(line.text) + "\n");
        }
        if (static_cast<std::size_t>(n) < sizeof buf) return;
    }
}

void Fleet::queue(Station &s, std::deque<std::string> writes)
{
    if (!s.client) return; // as a device server does, what nobody listens to is lost
    for (std::string &w : writes) {
        s.readyBytes += w.size();
        s.ready.push_back(std::move(w));
    }
    write(s);
    if (s.client && s.readyBytes + s.sim.unsentBytes() > MaxUnsent)
        drop(s, "the client reads none of the replies; disconnected");
}

void Fleet::write(Station &s)
{
    // Each scheduled piece in a write of its own: a split reply must not be merged back.
    while (s.client && !s.ready.empty()) {
        std::string &front = s.ready.front();
        const ssize_t n = ::send(s.client.get(), front.data(), front.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == ECONNRESET || errno == EPIPE)
                disconnect(s);
            else if (errno != EAGAIN && errno != EWOULDBLOCK)
                drop(s, std::strerror(errno));
            return;
        }
        s.readyBytes -= static_cast<std::size_t>(n);
        front.erase(0, static_cast<std::size_t>(n));
        if (!front.empty()) return;
        s.ready.pop_front();
    }
}

void Fleet::disconnect(Station &s)
{
    s.client.reset();
    s.ready.clear();
    s.readyBytes = 0;
}

void Fleet::drop(Station &s, const std::string &why)
{
    complain(s.name + ": " + why);
    disconnect(s);
}

// Two descriptors a projector, which the usual soft limit of 1024 does not cover for a large
// fleet.
void raiseFileLimit(int count)
{
    const auto wanted = static_cast<rlim_t>(2 * count + 16);
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= wanted) return;
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace

int runFleet(const Options &options, int logFd)
{
    raiseFileLimit(options.listen->count);
    Fleet fleet(options, logFd);
    std::string error;
    if (!fleet.listen(error)) {
        complain(error);
        return 1;
    }
    writeAll(STDOUT_FILENO, "listening on " + fleet.portRange() + "\n");
    switch (fleet.run()) {
    case Fleet::End::Unplugged: complain("unplugged"); return 0;
    case Fleet::End::Signal: return 0;
    case Fleet::End::Failed: return 1;
    }
    return 0;
}

} // namespace sim
