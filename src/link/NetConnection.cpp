// SPDX-License-Identifier: MIT
#include "NetConnection.h"
#include "TelnetCodec.h"

#include <QEventLoop>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

using namespace std::chrono_literals;
using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;

namespace {

constexpr qint64 ReadChunk = 16 * 1024;

Cause causeOf(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return Cause::Refused;
    case QAbstractSocket::HostNotFoundError: return Cause::HostNotFound;
    case QAbstractSocket::SocketTimeoutError: return Cause::TimedOut;
    case QAbstractSocket::RemoteHostClosedError: return Cause::ServerClosed;
    default: return Cause::Network;
    }
}

} // namespace

NetConnection::NetConnection(const QString &device, TimerFactory timers, QObject *parent)
    : Connection(parent), m_address(NetAddress::parse(device)), m_watch(timers())
{
    setDevice(device);
    connect(m_watch.get(), &IntervalTimer::timeout, this, [this] {
        m_watch->stop();
        Q_EMIT available();
    });
}

NetConnection::~NetConnection()
{
    // Deleted from within open()'s wait: open() must not wait on.
    if (m_connecting) m_connecting->quit();
    teardown();
}

bool NetConnection::handles(const QString &device)
{
    return NetAddress::handles(device);
}

bool NetConnection::open(const LineSettings &settings)
{
    if (m_connecting) return fail(Action::Open, Cause::Connecting);
    teardown();
    stopWatching();
    m_settings = settings;
    if (!m_address.isValid()) return fail(Action::Open, m_address.error, m_address.detail);
    // RFC 6761: such names never resolve, and the query need not leave the machine.
    const QString host = m_address.host.toLower();
    if (host == QLatin1String("invalid") || host.endsWith(QLatin1String(".invalid")))
        return fail(Action::Open, Cause::HostNotFound);
    if (m_address.kind == Kind::Rfc2217) {
        if (!TelnetCodec::canSet(settings)) return fail(Action::Open, Cause::CannotSetLine);
        m_codec = std::make_unique<TelnetCodec>();
    }

    // A local loop keeps the window painted and the panel's timers running while the host is
    // looked up and the connection made; user input waits the few seconds, so that nothing
    // the user does can close or reopen this connection under the wait.
    QPointer<NetConnection> self(this);
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] { finishConnecting(Cause::TimedOut); });
    m_connecting = &loop;
    m_attemptDone = false;
    m_attempt = Cause::None;
    m_attemptError = -1;
    deadline.start(m_connectTimeout);
    connectSocket();
    if (!m_attemptDone) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!self) return false;
    m_connecting = nullptr;

    if (m_attempt != Cause::None) {
        teardown();
        return fail({Action::Open, m_attempt, 0, {}, {}, 0, m_attemptError});
    }
    m_open = true;
    m_watches = 0;
    if (!m_unread.isEmpty())
        QMetaObject::invokeMethod(
            this,
            [this, generation = m_generation] {
                if (generation == m_generation && !m_unread.isEmpty()) Q_EMIT received();
            },
            Qt::QueuedConnection);
    return true;
}

void NetConnection::connectSocket()
{
    m_socket = new QTcpSocket(this);
    // Bounded like the decoded bytes: what the socket holds waits in the kernel instead.
    m_socket->setReadBufferSize(ReadChunk * 4);
    connect(m_socket, &QTcpSocket::connected, this, &NetConnection::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetConnection::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetConnection::onDisconnected);
    m_socket->connectToHost(m_address.host, m_address.port);
}

void NetConnection::finishConnecting(Cause cause, int socketError)
{
    if (!m_connecting || m_attemptDone) return;
    m_attemptDone = true;
    m_attempt = cause;
    m_attemptError = socketError;
    m_connecting->quit();
}

void NetConnection::onConnected()
{
    // Commands are a few bytes each; Nagle's algorithm would hold the next one back.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_codec) return finishConnecting(Cause::None);
    m_socket->write(m_codec->start());
    // open() goes on when the server has answered WILL COM-PORT-OPTION (onReadyRead).
}

void NetConnection::onReadyRead()
{
    m_resumePosted = false;
    if (!m_socket) return;
    bool got = false;
    while (m_unread.size() < MaxUnread && m_socket->bytesAvailable() > 0)
        got = take(m_socket->read(ReadChunk)) || got;

    if (m_connecting && !m_attemptDone && m_codec) {
        switch (m_codec->comPort()) {
        case TelnetCodec::ComPort::Agreed:
            m_socket->write(m_codec->lineSettings(m_settings));
            return finishConnecting(Cause::None);
        case TelnetCodec::ComPort::Refused: return finishConnecting(Cause::LineRefused);
        default: return;
        }
    }
    if (got && isOpen()) Q_EMIT received();
}

// The server's bytes as data for readAll(); true when there were any.
bool NetConnection::take(const QByteArray &wire)
{
    if (!m_codec) {
        m_unread += wire;
        return !wire.isEmpty();
    }
    const TelnetCodec::Decoded decoded = m_codec->feed(wire);
    sendControl(decoded.reply);
    m_unread += decoded.data;
    return !decoded.data.isEmpty();
}

void NetConnection::sendControl(const QByteArray &bytes)
{
    // A server that keeps negotiating and reads nothing gets no more answers.
    if (bytes.isEmpty() || m_socket->bytesToWrite() > MaxUnsent) return;
    m_socket->write(bytes);
}

void NetConnection::onSocketError()
{
    if (m_connecting) return finishConnecting(causeOf(m_socket->error()), m_socket->error());
    dropped(m_socket->error());
}

void NetConnection::onDisconnected()
{
    if (m_connecting) return finishConnecting(Cause::ServerClosed);
    dropped(QAbstractSocket::RemoteHostClosedError);
}

// From the socket's own signals, where the socket must not be deleted or lost() acted upon;
// the rest happens once control is back in the event loop.
void NetConnection::dropped(int socketError)
{
    if (!m_open || m_dropped) return;
    m_dropped = true;
    QMetaObject::invokeMethod(
        this,
        [this, socketError, generation = m_generation] {
            if (generation == m_generation) lose(socketError);
        },
        Qt::QueuedConnection);
}

void NetConnection::lose(int socketError)
{
    // What the server sent before it went is data like any other.
    bool got = false;
    while (m_socket->bytesAvailable() > 0) got = take(m_socket->read(ReadChunk)) || got;
    teardown();
    fail({Action::Lose, Cause::Gone, 0, {}, {}, 0, socketError});
    const LinkFailure failure = this->failure();
    QPointer<NetConnection> self(this);
    if (got) Q_EMIT received();
    if (self) Q_EMIT lost(failure);
}

void NetConnection::teardown()
{
    ++m_generation;
    m_open = false;
    m_dropped = false;
    if (m_socket) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->flush();
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_codec.reset();
}

void NetConnection::close()
{
    if (m_connecting) return finishConnecting(Cause::ServerClosed);
    teardown();
}

bool NetConnection::isOpen() const
{
    return m_open && !m_dropped;
}

bool NetConnection::applySettings(const LineSettings &settings)
{
    if (m_address.kind == Kind::Rfc2217 && !TelnetCodec::canSet(settings))
        return fail(Action::SetLine, Cause::CannotSetLine);
    m_settings = settings;
    // Over raw TCP nothing reaches the line: the device server's own setting applies.
    if (m_address.kind == Kind::Raw || !isOpen()) return true;
    m_socket->write(m_codec->lineSettings(settings));
    m_socket->flush();
    return true;
}

bool NetConnection::write(const QByteArray &bytes)
{
    if (!isOpen()) return fail(Action::Send, Cause::NotOpen);
    const QByteArray wire = m_codec ? m_codec->encode(bytes) : bytes;
    // A server that takes nothing would otherwise make the socket's buffer grow without end.
    // Past the bound the bytes are refused whole, nothing of them is queued, and the caller
    // learns it now; the connection stays open, and bytes go again once the server reads.
    const qint64 waiting = m_socket->bytesToWrite();
    if (waiting + wire.size() > MaxUnsent)
        return fail({Action::Send, Cause::ServerNotTaking, 0, {}, {}, 0, -1, waiting});
    if (m_socket->write(wire) != wire.size())
        return fail({Action::Send, Cause::Network, 0, {}, {}, 0, m_socket->error()});
    m_socket->flush();
    return true;
}

QByteArray NetConnection::readAll()
{
    QByteArray out = std::exchange(m_unread, {});
    // Reading stopped at MaxUnread; it goes on from the event loop, not inside this call.
    if (m_socket && !m_resumePosted && m_socket->bytesAvailable() > 0) {
        m_resumePosted = true;
        QMetaObject::invokeMethod(this, &NetConnection::onReadyRead, Qt::QueuedConnection);
    }
    return out;
}

void NetConnection::watchForReturn()
{
    // A server that is down costs one connection attempt per wait; 30 s at the longest, so a
    // server back after a long outage is found soon enough.
    static constexpr std::chrono::seconds Waits[] = {1s, 2s, 4s, 8s, 16s, 30s};
    constexpr int Last = int(std::size(Waits)) - 1;
    m_watch->setInterval(Waits[std::min(m_watches, Last)]);
    m_watches = std::min(m_watches + 1, Last);
    m_watch->start();
}

void NetConnection::stopWatching()
{
    m_watch->stop();
}
