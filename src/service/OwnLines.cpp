// SPDX-License-Identifier: MIT
#include "OwnLines.h"

#include "Commands.h"
#include "ProjectorHost.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

// The service's end of one socket, and who sends on it.
struct OwnLines::Line
{
    int fd = -1;
    QString client;
    QString sender;
    QSocketNotifier *notifier = nullptr;
    QByteArray held; // read, and waiting for the host to take it
};

OwnLines::OwnLines(ProjectorHost &host, QObject *parent) : QObject(parent), m_host(host)
{
    connect(&m_host, &ProjectorHost::linesWelcome, this, &OwnLines::offerHeld);
    // Offline, a held packet is dropped like any line then, and its socket read again.
    connect(&m_host, &ProjectorHost::onlineChanged, this, &OwnLines::offerHeld);
}

OwnLines::~OwnLines()
{
    while (!m_lines.empty()) close(m_lines.back().get());
}

int OwnLines::open(const QString &client, const QString &sender, QString *why, bool *busy)
{
    *busy = true;
    if (m_lines.size() >= std::size_t(MaxOpen)) {
        *why = QStringLiteral("%1 lines of clients are open already").arg(MaxOpen);
        return -1;
    }
    const auto own = std::count_if(m_lines.cbegin(), m_lines.cend(),
                                   [&sender](const auto &l) { return l->sender == sender; });
    if (own >= MaxOpenPerClient) {
        *why = QStringLiteral("this client has %1 lines open already; close one first")
                   .arg(MaxOpenPerClient);
        return -1;
    }
    *busy = false;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        *why = QStringLiteral("cannot make a socket: %1").arg(qt_error_string(errno));
        return -1;
    }
    auto line = std::make_unique<Line>();
    line->fd = fds[0];
    line->client = client;
    line->sender = sender;
    line->notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    Line *raw = line.get();
    connect(line->notifier, &QSocketNotifier::activated, this, [this, raw] { readPackets(raw); });
    m_lines.push_back(std::move(line));
    return fds[1];
}

void OwnLines::readPackets(Line *line)
{
    char packet[MaxLineLength + 1];
    for (int taken = 0; taken < PacketsPerTurn; ++taken) {
        // MSG_TRUNC: the packet's whole length, so that a long one is told from a fitting one.
        const ssize_t n = ::recv(line->fd, packet, sizeof packet, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // Closed by the client (or an empty packet, which no line is), or broken.
        if (n <= 0) return close(line);
        if (n > MaxLineLength) return close(line);
        const QByteArray bytes(packet, qsizetype(n));
        // Packets held already go first: the host has a linesWelcome due for them.
        if (std::any_of(m_lines.cbegin(), m_lines.cend(),
                        [](const auto &l) { return !l->held.isEmpty(); }))
            return hold(line, bytes);
        if (!offer(line, bytes)) return;
    }
}

// False when the line is held or closed: nothing more is read from it for now.
bool OwnLines::offer(Line *line, const QByteArray &packet)
{
    // Offline or a failed write: the client hears of it from Online, as every client does.
    switch (m_host.writeLine(line->client, line->sender, packet)) {
    case ProjectorHost::Refusal::InvalidLine: close(line); return false;
    case ProjectorHost::Refusal::Wait: hold(line, packet); return false;
    default: line->held.clear(); return true;
    }
}

void OwnLines::hold(Line *line, const QByteArray &packet)
{
    line->held = packet;
    line->notifier->setEnabled(false);
}

// The held packets in turn until the host says wait. A socket whose packet went is read again
// and goes to the end of the turn.
void OwnLines::offerHeld()
{
    std::vector<Line *> holding;
    for (const auto &l : m_lines)
        if (!l->held.isEmpty()) holding.push_back(l.get());
    for (Line *line : holding) {
        if (!offer(line, QByteArray(line->held))) return;
        const auto it = std::find_if(m_lines.begin(), m_lines.end(),
                                     [line](const auto &l) { return l.get() == line; });
        std::rotate(it, it + 1, m_lines.end());
        line->notifier->setEnabled(true);
    }
}

void OwnLines::close(Line *line)
{
    const auto it = std::find_if(m_lines.begin(), m_lines.end(),
                                 [line](const auto &l) { return l.get() == line; });
    if (it == m_lines.end()) return;
    // Possibly within its own signal: not deleted here.
    line->notifier->setEnabled(false);
    line->notifier->deleteLater();
    ::close(line->fd);
    m_lines.erase(it);
}
