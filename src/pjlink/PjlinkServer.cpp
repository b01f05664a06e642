// SPDX-License-Identifier: MIT
#include "PjlinkServer.h"

#include "ProjectorHost.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpSocket>

using namespace pjlink;

namespace {

// The client's bytes are taken this many at a time, and only while it has no command under
// way: a client that sends faster than it is answered waits in its own socket.
constexpr qint64 ReadChunk = 512;

QByteArray challenge()
{
    QByteArray random(RandomLength / 2, Qt::Uninitialized);
    QRandomGenerator::system()->generate(random.begin(), random.end());
    return random.toHex();
}

} // namespace

class PjlinkServer::Client final : public QObject
{
public:
    Client(QTcpSocket *s, const QByteArray &password, std::unique_ptr<IntervalTimer> timer)
        : socket(s), session(password, password.isEmpty() ? QByteArray() : challenge()),
          idle(std::move(timer))
    {
        socket->setParent(this);
        const QHostAddress a = socket->peerAddress();
        name = QStringLiteral("pjlink %1:%2")
                   .arg(a.protocol() == QAbstractSocket::IPv6Protocol ? '[' + a.toString() + ']'
                                                                      : a.toString())
                   .arg(socket->peerPort());
        idle->setInterval(IdleTimeout);
    }

    QTcpSocket *socket;
    Session session;
    std::unique_ptr<IntervalTimer> idle;
    QString name; // the client's name on the projector's exchange
    const Mapping *command = nullptr;
    QList<Outcome> outcomes;
    quint64 request = 0; // of the code under way
};

PjlinkServer::PjlinkServer(ProjectorHost &host, TimerFactory timers, QObject *parent)
    : QObject(parent), m_host(host), m_timers(std::move(timers))
{
    const PjlinkConfig &c = m_host.config().pjlink;
    m_identity = {c.name, c.maker, c.product, c.other};
    connect(&m_server, &QTcpServer::newConnection, this, &PjlinkServer::accept);
    connect(&m_host, &ProjectorHost::finished, this, &PjlinkServer::onFinished);
    connect(&m_host, &ProjectorHost::lineSent, this, [this](const QByteArray &line) {
        if (line == "C0B\r") m_mute.audio = true;
        if (line == "C0C\r") m_mute.audio = false;
        if (line == "C0D\r") m_mute.video = true;
        if (line == "C0E\r") m_mute.video = false;
    });
}

PjlinkServer::~PjlinkServer()
{
    for (Client *c : std::as_const(m_clients)) delete c;
}

bool PjlinkServer::listen(QString *why)
{
    const PjlinkConfig &c = m_host.config().pjlink;
    if (m_server.listen(QHostAddress(c.address), c.port)) return true;
    if (why)
        *why = QStringLiteral("%1: cannot listen for PJLink on %2 port %3: %4")
                   .arg(m_host.config().name, c.address)
                   .arg(c.port)
                   .arg(m_server.errorString());
    return false;
}

void PjlinkServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_clients.size() >= MaxConnections) {
            Q_EMIT message(QStringLiteral("%1: PJLink connection from %2 refused: %3 are open")
                               .arg(m_host.config().name, socket->peerAddress().toString())
                               .arg(MaxConnections));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *c = new Client(socket, m_host.config().pjlink.password, m_timers());
        m_clients.append(c);
        socket->setReadBufferSize(ReadChunk);
        connect(socket, &QTcpSocket::readyRead, c, [this, c] { pump(c); });
        connect(socket, &QTcpSocket::disconnected, c, [this, c] { drop(c); });
        connect(socket, &QTcpSocket::errorOccurred, c, [this, c] { drop(c); });
        connect(c->idle.get(), &IntervalTimer::timeout, c, [this, c] { drop(c); });
        c->idle->start();
        if (!write(c, c->session.greeting())) return;
    }
}

void PjlinkServer::pump(Client *c)
{
    while (!c->command) {
        const std::optional<Session::Step> step = c->session.next();
        if (!step) {
            if (c->session.isClosing() || c->socket->bytesAvailable() == 0) return;
            c->session.feed(c->socket->read(ReadChunk));
            continue;
        }
        c->idle->start(); // 30 s from the last command
        if (step->mapping) {
            start(c, *step->mapping);
            continue;
        }
        if (!write(c, step->answer)) return;
        if (step->close) {
            // The answer goes out first; the connection's end drops the client.
            c->socket->disconnectFromHost();
            return;
        }
    }
}

void PjlinkServer::start(Client *c, const Mapping &m)
{
    c->command = &m;
    c->outcomes.clear();
    if (m.codeCount() == 0)
        finish(c, answer(m, {}, facts()));
    else
        sendCode(c);
}

void PjlinkServer::sendCode(Client *c)
{
    ProjectorHost::Refusal refusal = ProjectorHost::Refusal::None;
    const QString code = QLatin1String(c->command->codes[c->outcomes.size()]);
    c->request = m_host.request(c->name, code, &refusal);
    if (c->request != 0) {
        c->idle->stop(); // a busy line is no idle client
        return;
    }
    // Too many commands waiting clears by itself; a line that is gone or failing does not.
    finish(c, errorLine(c->command->body, refusal == ProjectorHost::Refusal::Busy
                                              ? Error::UnavailableTime
                                              : Error::ProjectorFailure));
}

void PjlinkServer::finish(Client *c, const QByteArray &answer)
{
    c->command = nullptr;
    c->request = 0;
    c->idle->start();
    write(c, answer);
}

void PjlinkServer::onFinished(const HostResult &result)
{
    const auto it = std::find_if(m_clients.cbegin(), m_clients.cend(),
                                 [&](const Client *c) { return c->request == result.id; });
    if (it == m_clients.cend()) return;
    Client *c = *it;
    const QString command = result.code + QChar(13);
    const bool answered = result.answered && !result.failure.isFailure();
    c->outcomes.append({answered, decodeStatus(command, result.reply)});
    if (answered && c->outcomes.size() < c->command->codeCount()) return sendCode(c);
    finish(c, answer(*c->command, c->outcomes, facts()));
    // The command's end may have been a drop.
    if (m_clients.contains(c)) pump(c);
}

bool PjlinkServer::write(Client *c, const QByteArray &bytes)
{
    if (c->socket->bytesToWrite() + bytes.size() > MaxUnsent) {
        drop(c, QStringLiteral("it does not read its answers"));
        return false;
    }
    c->socket->write(bytes);
    return true;
}

void PjlinkServer::drop(Client *c, const QString &why)
{
    if (!m_clients.removeOne(c)) return;
    if (!why.isEmpty())
        Q_EMIT message(QStringLiteral("%1: PJLink client %2 dropped: %3")
                           .arg(m_host.config().name, c->name.mid(7), why));
    c->idle->stop();
    c->socket->disconnect(c);
    c->socket->abort();
    // Not at once: this may run inside the socket's or the timer's own signal.
    c->deleteLater();
}

Facts PjlinkServer::facts() const
{
    const auto &power = m_host.state().power;
    return {power.isKnown() ? std::optional(power.value) : std::nullopt, m_mute, m_identity};
}
