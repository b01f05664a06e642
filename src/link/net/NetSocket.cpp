// SPDX-License-Identifier: MIT
#include "NetSocket.h"

#include "TelnetCodec.h"

#include <QPointer>
#include <QTcpSocket>

#include <utility>

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

// LinkFailure words socket errors by number without Qt Network; the numbers must agree.
static_assert(QAbstractSocket::ConnectionRefusedError == 0 &&
              QAbstractSocket::RemoteHostClosedError == 1 &&
              QAbstractSocket::HostNotFoundError == 2 && QAbstractSocket::SocketAccessError == 3 &&
              QAbstractSocket::SocketResourceError == 4 &&
              QAbstractSocket::SocketTimeoutError == 5 && QAbstractSocket::NetworkError == 7 &&
              QAbstractSocket::AddressInUseError == 8 &&
              QAbstractSocket::UnsupportedSocketOperationError == 10);

} // namespace

NetSocket::NetSocket(const QString &device, Events &events)
    : m_device(device), m_events(events), m_address(NetAddress::parse(device))
{
}

NetSocket::~NetSocket()
{
    teardown();
}

bool NetSocket::fail(LinkFailure failure)
{
    failure.device = m_device;
    m_failure = std::move(failure);
    return false;
}

// Events go out from the event loop, never from inside the socket's own, so that a receiver
// may close or delete this connection; a call for a socket since replaced does nothing.
template <typename F> void NetSocket::later(F &&f)
{
    QMetaObject::invokeMethod(
        this,
        [this, f = std::forward<F>(f), generation = m_generation] {
            if (generation == m_generation) f();
        },
        Qt::QueuedConnection);
}

bool NetSocket::open(const LineSettings &settings)
{
    if (m_connecting) return fail(Action::Open, Cause::Connecting);
    if (isOpen()) return true;
    teardown();
    m_settings = settings;
    if (!m_address.isValid()) return fail(Action::Open, m_address.error, m_address.detail);
    // RFC 6761: such names never resolve, and the query need not leave the machine.
    const QString host = m_address.host.toLower();
    if (host == QLatin1String("invalid") || host.endsWith(QLatin1String(".invalid")))
        return fail(Action::Open, Cause::HostNotFound);
    if (m_address.kind == NetAddress::Kind::Rfc2217) {
        if (!TelnetCodec::canSet(settings)) return fail(Action::Open, Cause::CannotSetLine);
        m_codec = std::make_unique<TelnetCodec>();
    }

    m_connecting = true;
    m_tcpConnected = false;
    m_socket = new QTcpSocket(this);
    // Bounded like the decoded bytes: what the socket holds waits in the kernel instead.
    m_socket->setReadBufferSize(ReadChunk * 4);
    connect(m_socket, &QTcpSocket::connected, this, &NetSocket::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetSocket::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetSocket::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetSocket::onDisconnected);
    m_events.armDeadline(m_connectTimeout);
    m_socket->connectToHost(m_address.host, m_address.port);
    return true;
}

void NetSocket::onConnected()
{
    m_tcpConnected = true;
    // Commands are a few bytes each; Nagle's algorithm would hold the next one back.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_codec) return finishConnecting(Cause::None);
    // Only WILL COM-PORT-OPTION goes first: a raw port mistaken for a device server passes
    // these three bytes to the projector's line, and nothing more is sent until it answers.
    m_socket->write(m_codec->start());
}

void NetSocket::onDeadline()
{
    if (!m_connecting) return;
    if (m_proving) return finishConnecting(Cause::None);
    // Connected but never answered: a raw TCP port, not a device server speaking RFC 2217.
    finishConnecting(m_tcpConnected && m_codec ? Cause::NotRfc2217 : Cause::TimedOut);
}

void NetSocket::finishConnecting(Cause cause, int socketError)
{
    if (!m_connecting) return;
    if (cause == Cause::None && !m_proving) {
        m_proving = true;
        m_events.armDeadline(ProveTime);
        return;
    }
    m_connecting = false;
    m_proving = false;
    m_events.stopDeadline();
    if (cause != Cause::None) {
        // What a server said as it hung up is usually why ("Device open failure"): kept
        // printable and short, as data for the failure's words.
        QString farewell;
        for (const char c : std::as_const(m_unread).left(MaxFarewell))
            farewell += (c >= 0x20 && c < 0x7f) ? QChar::fromLatin1(c) : u' ';
        fail({Action::Open, cause, 0, {}, farewell.simplified(), 0, socketError});
        teardown();
        m_unread.clear();
        later([this, failure = m_failure] { m_events.onConnectFailed(failure); });
        return;
    }
    m_open = true;
    later([this] {
        QPointer<NetSocket> self(this);
        m_events.onConnected();
        // What the server sent with its answer is data like any other.
        if (self && !m_unread.isEmpty() && isOpen()) m_events.onReceived();
    });
}

void NetSocket::onReadyRead()
{
    m_resumePosted = false;
    if (!m_socket) return;
    bool got = false;
    while (m_unread.size() < MaxUnread && m_socket->bytesAvailable() > 0)
        got = take(m_socket->read(ReadChunk)) || got;

    if (m_connecting && m_codec && !m_proving) {
        switch (m_codec->comPort()) {
        case TelnetCodec::ComPort::Agreed:
            // BINARY both ways before any data, so that 8-bit data passes.
            m_socket->write(m_codec->askBinary() + m_codec->lineSettings(m_settings));
            return finishConnecting(Cause::None);
        case TelnetCodec::ComPort::Refused: return finishConnecting(Cause::LineRefused);
        default: return;
        }
    }
    if (got && isOpen()) m_events.onReceived();
}

// The server's bytes as data for readAll(); true when there were any.
bool NetSocket::take(const QByteArray &wire)
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

void NetSocket::sendControl(const QByteArray &bytes)
{
    // A server that keeps negotiating and reads nothing gets no more answers.
    if (bytes.isEmpty() || m_socket->bytesToWrite() > MaxUnsent) return;
    m_socket->write(bytes);
}

void NetSocket::onSocketError()
{
    if (m_connecting) return finishConnecting(causeOf(m_socket->error()), m_socket->error());
    dropped(m_socket->error());
}

void NetSocket::onDisconnected()
{
    if (m_connecting)
        return finishConnecting(Cause::ServerClosed, QAbstractSocket::RemoteHostClosedError);
    dropped(QAbstractSocket::RemoteHostClosedError);
}

// From the socket's own signals, where the socket must not be deleted; the rest happens once
// control is back in the event loop.
void NetSocket::dropped(int socketError)
{
    if (!m_open || m_dropped) return;
    m_dropped = true;
    later([this, socketError] { lose(socketError); });
}

void NetSocket::lose(int socketError)
{
    // What the server sent before it went is data like any other, and is delivered first.
    bool got = !m_unread.isEmpty();
    while (m_socket->bytesAvailable() > 0) got = take(m_socket->read(ReadChunk)) || got;
    fail({Action::Lose, Cause::Gone, 0, {}, {}, 0, socketError});
    const LinkFailure failure = m_failure;
    QPointer<NetSocket> self(this);
    if (got) {
        // Readable while received() is handled; the connection is closed right after.
        m_dropped = false;
        m_events.onReceived();
    }
    if (!self) return;
    teardown();
    m_unread.clear();
    m_events.onLost(failure);
}

void NetSocket::teardown()
{
    ++m_generation;
    m_open = false;
    m_dropped = false;
    m_connecting = false;
    m_proving = false;
    m_events.stopDeadline();
    if (m_socket) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->flush();
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_codec.reset();
}

void NetSocket::close()
{
    teardown();
    m_unread.clear();
}

bool NetSocket::isOpen() const
{
    return m_open && !m_dropped;
}

bool NetSocket::applySettings(const LineSettings &settings)
{
    if (m_address.kind == NetAddress::Kind::Rfc2217 && !TelnetCodec::canSet(settings))
        return fail(Action::SetLine, Cause::CannotSetLine);
    m_settings = settings;
    // Over raw TCP nothing reaches the line: the device server's own setting applies.
    if (m_address.kind == NetAddress::Kind::Raw || !isOpen()) return true;
    m_socket->write(m_codec->lineSettings(settings));
    m_socket->flush();
    return true;
}

bool NetSocket::write(const QByteArray &bytes)
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

QByteArray NetSocket::readAll()
{
    QByteArray out = std::exchange(m_unread, {});
    // Reading stopped at MaxUnread; it goes on from the event loop, not inside this call.
    if (m_socket && !m_resumePosted && m_socket->bytesAvailable() > 0) {
        m_resumePosted = true;
        QMetaObject::invokeMethod(this, &NetSocket::onReadyRead, Qt::QueuedConnection);
    }
    return out;
}
