// SPDX-License-Identifier: MIT
// A command's round trip through a serial device server: NetConnection writes it, ser2net on
// 127.0.0.1 puts it on a pseudo-terminal whose master sends it straight back, and the bytes
// arrive through the event loop as the panel reads them. Over RFC 2217 and over raw TCP, beside
// a bare loopback TCP write and read in the same run.
#include "BenchCommon.h"
#include "NetConnection.h"
#include "Ser2Net.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using namespace bench;

namespace {

// Sends back whatever arrives on fd until stopped: the projector on the pty's master, or the
// far end of the bare TCP baseline.
class Echo
{
public:
    explicit Echo(int fd) : m_fd(fd)
    {
        if (::pipe(m_stop) != 0) std::abort();
        m_thread = std::thread([this] {
            char buf[256];
            for (;;) {
                pollfd p[2] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
                if (::poll(p, 2, -1) < 0) continue;
                if (p[1].revents) return;
                const ssize_t n = ::read(m_fd, buf, sizeof buf);
                if (n <= 0) return;
                if (::write(m_fd, buf, size_t(n)) != n) return;
            }
        });
    }
    ~Echo()
    {
        [[maybe_unused]] const auto n = ::write(m_stop[1], "", 1);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }

private:
    int m_fd;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

struct Figures
{
    double median, p99, max;
};

Figures summary(std::vector<double> &us)
{
    return {percentile(us, 50), percentile(us, 99), percentile(us, 100)};
}

// NetConnection through ser2net to a pty whose master echoes.
class ServerPath
{
public:
    ServerPath(Ser2Net::Kind kind, bool charDelay)
        : m_server(kind, m_pty.device(), QStringLiteral("19200n81"), charDelay)
    {
        if (!m_pty.ok() || !m_server.start())
            qFatal("ser2net did not start: %s", m_server.log().constData());
        m_echo = std::make_unique<Echo>(m_pty.master());
        m_conn = std::make_unique<NetConnection>(m_server.url());
        if (!m_conn->open(*LineSettings::parse(QString::fromLatin1(Settings19200))))
            qFatal("%s", qPrintable(m_conn->failure().text()));
        // The connection is made from the event loop.
        QObject::connect(m_conn.get(), &Connection::connected, &m_loop, &QEventLoop::quit);
        QObject::connect(m_conn.get(), &Connection::connectFailed, &m_loop,
                         [](const LinkFailure &f) { qFatal("%s", qPrintable(f.text())); });
        if (m_conn->isConnecting()) m_loop.exec();
        QObject::connect(m_conn.get(), &Connection::received, &m_loop, [this] {
            m_got += m_conn->readAll();
            if (m_got.size() >= 4) m_loop.quit();
        });
        m_guard.setSingleShot(true);
        QObject::connect(&m_guard, &QTimer::timeout, &m_loop, [] { qFatal("no echo within 2 s"); });
    }

    // Write to echo received, as the panel sees it: through the event loop.
    double roundTripUs()
    {
        m_got.clear();
        m_guard.start(2000);
        const long long t0 = nowNs();
        if (!m_conn->write("C00\r")) qFatal("%s", qPrintable(m_conn->failure().text()));
        m_loop.exec();
        const long long t1 = nowNs();
        m_guard.stop();
        if (m_got != "C00\r") qFatal("echo was %s", m_got.toHex(' ').constData());
        return (t1 - t0) / 1e3;
    }

private:
    Pty m_pty;
    Ser2Net m_server;
    std::unique_ptr<Echo> m_echo;
    std::unique_ptr<NetConnection> m_conn;
    QEventLoop m_loop;
    QTimer m_guard;
    QByteArray m_got;
};

// Blocking write and read on a loopback TCP pair, echoed by a thread: the floor.
class BarePath
{
public:
    BarePath()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
            ::listen(listener, 1) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            qFatal("no loopback listener");
        m_client = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(m_client, reinterpret_cast<sockaddr *>(&addr), len) != 0)
            qFatal("no loopback connect");
        m_server = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        const int one = 1;
        ::setsockopt(m_client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(m_server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_echo = std::make_unique<Echo>(m_server);
    }
    ~BarePath()
    {
        ::shutdown(m_server, SHUT_RDWR);
        m_echo.reset();
        ::close(m_client);
        ::close(m_server);
    }

    double roundTripUs()
    {
        char buf[4];
        const long long t0 = nowNs();
        if (::write(m_client, "C00\r", 4) != 4) qFatal("bare write failed");
        for (ssize_t got = 0; got < 4;) {
            const ssize_t n = ::read(m_client, buf + got, size_t(4 - got));
            if (n <= 0) qFatal("bare read failed");
            got += n;
        }
        return (nowNs() - t0) / 1e3;
    }

private:
    int m_client = -1;
    int m_server = -1;
    std::unique_ptr<Echo> m_echo;
};

} // namespace

int main(int argc, char **argv)
{
    const bool quick = hasArg(argc, argv, "--quick");
    QCoreApplication app(argc, argv);
    const int rounds = quick ? 300 : 2000;
    constexpr int WarmUp = 50;

    // Round by round in turn, so that whatever else the machine does falls on all three alike.
    ServerPath rfc(Ser2Net::Kind::Rfc2217, false), raw(Ser2Net::Kind::Raw, false);
    BarePath bare;
    std::vector<double> rfcUs, rawUs, bareUs;
    for (int i = 0; i < WarmUp + rounds; ++i) {
        const double r = rfc.roundTripUs(), w = raw.roundTripUs(), b = bare.roundTripUs();
        if (i < WarmUp) continue;
        rfcUs.push_back(r);
        rawUs.push_back(w);
        bareUs.push_back(b);
    }
    std::vector<double> waitingUs;
    {
        ServerPath waiting(Ser2Net::Kind::Rfc2217, true);
        for (int i = 0; i < WarmUp + rounds / 4; ++i)
            if (const double us = waiting.roundTripUs(); i >= WarmUp) waitingUs.push_back(us);
    }
    const Figures f = summary(rfcUs), w = summary(rawUs), b = summary(bareUs),
                  d = summary(waitingUs);

    const auto line = [](const std::string &what, const Figures &x) {
        note(what + ": median " + fmt("%.1f", x.median) + " us, p99 " + fmt("%.1f", x.p99) +
             " us, max " + fmt("%.1f", x.max) + " us");
    };
    line("command round trip over RFC 2217 through ser2net and a pty echoing it, " +
             std::to_string(rounds) + " rounds",
         f);
    line("the same over raw TCP (socket://)", w);
    line("bare loopback TCP write and read, echoed by a thread", b);
    line("over RFC 2217 with ser2net's chardelay on, as it comes (the rows have it off), " +
             std::to_string(rounds / 4) + " rounds",
         d);
    // A command is 4 bytes, about 2 ms on the line at 19200 baud: the network's share should
    // stay below that.
    row("Round trip via ser2net, RFC 2217, p99 (us)", fmt("%.1f", f.p99), fmt("%.1f", b.p99),
        "+" + fmt("%.1f", f.p99 - b.p99) + " us", "< 2000 us", f.p99 < 2000);
    // Telnet's own cost: the same path over raw TCP as the baseline.
    row("Round trip via ser2net, RFC 2217 vs raw TCP, median (us)", fmt("%.1f", f.median),
        fmt("%.1f", w.median), fmt("%.2fx", f.median / w.median), "<= 1.2x",
        f.median <= w.median * 1.2);
    return 0;
}
