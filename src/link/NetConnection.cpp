// SPDX-License-Identifier: MIT
#include "NetConnection.h"

#include "Plugins.h"

using namespace std::chrono_literals;
using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;

NetConnection::NetConnection(const QString &device, TimerFactory timers, QObject *parent)
    : Connection(parent), m_address(NetAddress::parse(device)), m_deadline(timers())
{
    setDevice(device);
    connect(m_deadline.get(), &IntervalTimer::timeout, this, [this] {
        m_deadline->stop();
        if (m_link) m_link->onDeadline();
    });
}

NetConnection::~NetConnection() = default;

// A malformed address is told without loading anything.
bool NetConnection::load()
{
    if (m_link) return true;
    if (!m_address.isValid()) return fail(Action::Open, m_address.error, m_address.detail);
    QString why;
    NetLinkFactory *links = Plugins::netLinks(&why);
    if (!links) return fail(Action::Open, Cause::NoNetLink, why);
    m_link = links->create(device(), *this);
    m_link->setConnectTimeout(m_connectTimeout);
    return true;
}

bool NetConnection::open(const LineSettings &settings)
{
    if (!load()) return false;
    if (!m_link->open(settings)) return fail(m_link->failure());
    return true;
}

void NetConnection::close()
{
    if (m_link) m_link->close();
}

bool NetConnection::applySettings(const LineSettings &settings)
{
    // Only RFC 2217 checks them; without a socket side there is nothing to check them on.
    if (m_address.kind == NetAddress::Kind::Raw || !load()) return true;
    if (!m_link->applySettings(settings)) return fail(m_link->failure());
    return true;
}

bool NetConnection::write(const QByteArray &bytes)
{
    if (!isOpen()) return fail(Action::Send, Cause::NotOpen);
    if (!m_link->write(bytes)) return fail(m_link->failure());
    return true;
}

Connection::Backoff NetConnection::backoff() const
{
    // A server that is down costs one connection attempt per wait; 30 s at the longest, so a
    // server back after a long outage is found soon enough.
    return {1s, 30s};
}

void NetConnection::setConnectTimeout(std::chrono::milliseconds timeout)
{
    m_connectTimeout = timeout;
    if (m_link) m_link->setConnectTimeout(timeout);
}

void NetConnection::onConnected()
{
    Q_EMIT connected();
}

void NetConnection::onConnectFailed(const LinkFailure &failure)
{
    fail(failure);
    Q_EMIT connectFailed(this->failure());
}

void NetConnection::onLost(const LinkFailure &failure)
{
    fail(failure);
    Q_EMIT lost(this->failure());
}

void NetConnection::onReceived()
{
    Q_EMIT received();
}

void NetConnection::armDeadline(std::chrono::milliseconds after)
{
    m_deadline->setInterval(after);
    m_deadline->start();
}

void NetConnection::stopDeadline()
{
    m_deadline->stop();
}
