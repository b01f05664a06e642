// SPDX-License-Identifier: MIT
#include "ServiceConnection.h"

#include "Plugins.h"
#include "ServiceBus.h"

using namespace std::chrono_literals;
using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;

ServiceConnection::ServiceConnection(const QString &device, Lookup lookup, QObject *parent)
    : SharedConnection(parent), m_lookup(lookup)
{
    setDevice(device);
}

ServiceConnection::~ServiceConnection() = default;

bool ServiceConnection::open(const LineSettings &)
{
    // Not even loaded for a bus that is not there.
    if (!ServiceBus::mayListen())
        return fail(Action::Open, Cause::NoServiceBus, QStringLiteral("system"));
    if (!m_client) {
        QString why;
        ServiceClientFactory *clients = Plugins::serviceClients(&why);
        if (!clients) return fail(Action::Open, Cause::NoServiceClient, why);
        m_client = clients->create(device(), m_lookup, *this);
        m_client->setOwnRepliesOnly(m_ownRepliesOnly);
    }
    if (!m_client->open()) return fail(m_client->failure());
    return true;
}

void ServiceConnection::close()
{
    if (m_client) m_client->close();
}

bool ServiceConnection::write(const QByteArray &bytes)
{
    if (!isOpen()) return fail(Action::Send, Cause::NotOpen);
    if (!m_client->write(bytes)) return fail(m_client->failure());
    return true;
}

Connection::Backoff ServiceConnection::backoff() const
{
    return {1s, 30s};
}

void ServiceConnection::stopWatching()
{
    if (m_client) m_client->stopWatching();
}

QString ServiceConnection::lineInForce() const
{
    return m_client ? m_client->lineInForce() : QString();
}

void ServiceConnection::setOwnRepliesOnly(bool own)
{
    m_ownRepliesOnly = own;
    if (m_client) m_client->setOwnRepliesOnly(own);
}

void ServiceConnection::onConnected()
{
    Q_EMIT connected();
}

void ServiceConnection::onConnectFailed(const LinkFailure &failure)
{
    fail(failure);
    Q_EMIT connectFailed(this->failure());
}

void ServiceConnection::onLost(const LinkFailure &failure)
{
    fail(failure);
    Q_EMIT lost(this->failure());
}

void ServiceConnection::onReceived()
{
    Q_EMIT received();
}

void ServiceConnection::onAvailable()
{
    Q_EMIT available();
}

void ServiceConnection::onSharedLineSent(const QByteArray &line, const QString &client)
{
    Q_EMIT sharedLineSent(line, client);
}
