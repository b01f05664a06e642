// SPDX-License-Identifier: MIT
#include "PjlinkServer.h"

#include "ProjectorHost.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpSocket>

using namespace pjlink;
using std::chrono::milliseconds;

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

// An IPv4 peer of a dual-stack socket as IPv4, as the journal and the tables name it.
QHostAddress peerAddress(const QTcpSocket *socket)
{
    bool isV4 = false;
    const quint32 v4 = socket->peerAddress().toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : socket->peerAddress();
}

} // namespace

class PjlinkServer::Client final : public QObject
{
public:
    Client(QTcpSocket *s, const QByteArray &password, std::unique_ptr<IntervalTimer> timer)
        : socket(s), session(password, password.isEmpty() ? QByteArray() : challenge()),
          timer(std::move(timer))
    {
        socket->setParent(this);
        const QHostAddress a = peerAddress(socket);
        address = a.toString();
        name =
            QStringLiteral("pjlink %1:%2")
                .arg(a.protocol() == QAbstractSocket::IPv6Protocol ? '[' + address + ']' : address)
                .arg(socket->peerPort());
    }

    // Logged in, as far as the client may know: a login held for the guessing delay is not yet.
    bool isIn() const { return session.isAuthenticated() && !holding; }

    QTcpSocket *socket;
    Session session;
    // The login's deadline, the guessing delay, or the close after 30 s without a command.
    std::unique_ptr<IntervalTimer> timer;
    QString address;
    QString name; // the client's name on the projector's exchange
    const Mapping *command = nullptr;
    QList<Outcome> outcomes;
    quint64 request = 0;               // of the code under way
    bool gone = false;                 // dropped: nothing more of it is read or answered
    bool holding = false;              // a login attempt waits out the guessing delay
    std::optional<Session::Step> held; // what that attempt came to
};

PjlinkServer::PjlinkServer(ProjectorHost &host, TimerFactory timers, Clock clock, QObject *parent)
    : QObject(parent), m_host(host), m_timers(std::move(timers)), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] {
            return std::chrono::duration_cast<milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch());
        };
    const PjlinkConfig &c = m_host.config().pjlink;
    m_identity = {c.name, c.maker, c.product, c.other};
    connect(&m_server, &QTcpServer::newConnection, this, &PjlinkServer::accept);
    connect(&m_host, &ProjectorHost::finished, this, &PjlinkServer::onFinished);
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
            const auto out = std::find_if(m_clients.cbegin(), m_clients.cend(),
                                          [](const Client *c) { return !c->isIn(); });
            if (out == m_clients.cend()) {
                const QString address = peerAddress(socket).toString();
                report(QStringLiteral("refused"), address,
                       QStringLiteral("%1: PJLink connection from %2 refused: all %3 are in use")
                           .arg(m_host.config().name, address)
                           .arg(MaxConnections));
                socket->abort();
                socket->deleteLater();
                continue;
            }
            drop(*out, QStringLiteral("a new connection took its slot"));
        }
        auto *c = new Client(socket, m_host.config().pjlink.password, m_timers());
        m_clients.append(c);
        socket->setReadBufferSize(ReadChunk);
        connect(socket, &QTcpSocket::readyRead, c, [this, c] { pump(c); });
        connect(socket, &QTcpSocket::disconnected, c, [this, c] { drop(c); });
        connect(socket, &QTcpSocket::errorOccurred, c, [this, c] { drop(c); });
        connect(c->timer.get(), &IntervalTimer::timeout, c, [this, c] { onTimeout(c); });
        arm(c, c->session.isAuthenticated() ? milliseconds(IdleTimeout) : LoginTimeout);
        write(c, c->session.greeting());
    }
}

void PjlinkServer::pump(Client *c)
{
    // A drop may come from any answer written below: then nothing more is read nor answered.
    while (!c->gone && !c->command && !c->holding) {
        const auto isJudged = [c] {
            return c->session.isAuthenticated() || c->session.isClosing();
        };
        const bool wasJudged = isJudged();
        const std::optional<Session::Step> step = c->session.next();
        if (!wasJudged && isJudged() && judged(c, step)) return;
        if (step) {
            take(c, *step);
        } else {
            if (c->session.isClosing() || c->socket->bytesAvailable() == 0) return;
            c->session.feed(c->socket->read(ReadChunk));
        }
    }
}

bool PjlinkServer::judged(Client *c, const std::optional<Session::Step> &step)
{
    const milliseconds now = m_clock();
    // Counted before this attempt, so that its own failure delays only the next one.
    const bool slowed = m_failures.count(c->address, now) >= FreeFailures;
    if (c->session.isClosing()) {
        m_failures.add(c->address, now);
        report(QStringLiteral("failed"), c->address,
               QStringLiteral("%1: PJLink login from %2 failed")
                   .arg(m_host.config().name, c->address));
    }
    if (!slowed) {
        if (c->session.isAuthenticated()) arm(c, IdleTimeout); // a digest alone is a login too
        return false;
    }
    // Right or wrong alike, or the time of the answer would tell.
    c->holding = true;
    c->held = step;
    arm(c, GuessDelay);
    return true;
}

void PjlinkServer::take(Client *c, const Session::Step &step)
{
    // 30 s from the last command; a refused login has LoginTimeout to go.
    arm(c, c->session.isAuthenticated() ? milliseconds(IdleTimeout) : LoginTimeout);
    if (step.mapping) return start(c, *step.mapping);
    // The answer goes out first; the connection's end drops the client.
    if (write(c, step.answer) && step.close) c->socket->disconnectFromHost();
}

void PjlinkServer::onTimeout(Client *c)
{
    if (!c->holding) {
        if (c->session.isClosing() || c->session.isAuthenticated()) return drop(c);
        return drop(c, QStringLiteral("no login within %1 s").arg(LoginTimeout.count()));
    }
    c->holding = false;
    arm(c, IdleTimeout); // until the held step's own
    if (const std::optional<Session::Step> step = std::exchange(c->held, std::nullopt))
        take(c, *step);
    pump(c);
}

void PjlinkServer::arm(Client *c, milliseconds interval)
{
    c->timer->setInterval(interval);
    c->timer->start();
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
        c->timer->stop(); // a busy line is no idle client
        return;
    }
    settle(c, refusal);
}

void PjlinkServer::finish(Client *c, const QByteArray &answer)
{
    c->command = nullptr;
    c->request = 0;
    arm(c, IdleTimeout);
    write(c, answer);
}

void PjlinkServer::onFinished(const HostResult &result)
{
    const auto it = std::find_if(m_clients.cbegin(), m_clients.cend(),
                                 [&](const Client *c) { return c->request == result.id; });
    if (it == m_clients.cend()) return;
    settle(*it, ProjectorHost::Refusal::None, result);
}

void PjlinkServer::settle(Client *c, ProjectorHost::Refusal refusal, const HostResult &result)
{
    if (refusal != ProjectorHost::Refusal::None) {
        // Too many commands waiting clears by itself; a line that is gone or failing does not.
        finish(c, errorLine(c->command->body, refusal == ProjectorHost::Refusal::Busy
                                                  ? Error::UnavailableTime
                                                  : Error::ProjectorFailure));
        return;
    }
    // A command cut short (the line gone, a failed write, the service's stop) went unanswered.
    const bool answered =
        result.answered && m_host.refusalOf(result) == ProjectorHost::Refusal::None;
    c->outcomes.append({answered, result.reading});
    if (answered && c->outcomes.size() < c->command->codeCount()) return sendCode(c);
    finish(c, answer(*c->command, c->outcomes, facts()));
    pump(c);
}

bool PjlinkServer::write(Client *c, const QByteArray &bytes)
{
    if (c->gone) return false;
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
    c->gone = true;
    if (!why.isEmpty())
        report(QStringLiteral("dropped"), c->address,
               QStringLiteral("%1: PJLink client %2 dropped: %3")
                   .arg(m_host.config().name, c->name.mid(7), why));
    // Its commands still waiting for the line go with it.
    m_host.forget(c->name);
    c->timer->stop();
    c->socket->disconnect(c);
    c->socket->abort();
    // Not at once: this may run inside the socket's or the timer's own signal.
    c->deleteLater();
}

void PjlinkServer::report(const QString &kind, const QString &address, const QString &line)
{
    const QString admitted = m_logLimit.admit(kind + u' ' + address, line, m_clock());
    if (!admitted.isEmpty()) Q_EMIT message(admitted);
}

Facts PjlinkServer::facts() const
{
    const auto &power = m_host.state().power;
    return {power.isKnown() ? std::optional(power.value) : std::nullopt, m_host.mutes(),
            m_identity};
}
