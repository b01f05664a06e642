// SPDX-License-Identifier: MIT
#include "LocalConnection.h"

#include "ServiceBus.h"

#include <QFileInfo>

using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;

LocalConnection::LocalConnection(const QString &device, QObject *parent)
    : SharedConnection(parent), m_direct(device),
      m_service(device, ServiceConnection::Lookup::ByDevice)
{
    setDevice(device);
    forward(m_direct);
    forward(m_service);
    connect(&m_service, &Connection::connected, this, [this] {
        m_asking = false;
        m_withService = true;
        m_active = &m_service;
        Q_EMIT connected();
    });
    connect(&m_service, &Connection::connectFailed, this, &LocalConnection::onServiceFailed);
    connect(&m_service, &SharedConnection::sharedLineSent, this, &SharedConnection::sharedLineSent);
}

// Only what the connection in use says; the other one is closed.
void LocalConnection::forward(Connection &from)
{
    connect(&from, &Connection::received, this, [this, &from] {
        if (m_active == &from) Q_EMIT received();
    });
    connect(&from, &Connection::lost, this, [this, &from](const LinkFailure &failure) {
        if (m_active != &from) return;
        fail(failure);
        Q_EMIT lost(this->failure());
    });
    connect(&from, &Connection::available, this, [this] {
        stopWatching();
        Q_EMIT available();
    });
}

bool LocalConnection::open(const LineSettings &settings)
{
    m_settings = settings;
    if (isOpen()) return true;
    if (m_asking) return fail(Action::Open, Cause::Connecting);
    m_active = nullptr;
    if (m_withService) {
        // Whatever the device's folder or the service's directory say meanwhile: a service that
        // is away is waited for.
        m_active = &m_service;
        if (!m_service.open(settings)) return fail(m_service.failure());
        m_asking = true;
        return true;
    }
    // The service cannot hold a device that is not there, and without the service running, or
    // without a bus (the service's open fails at once), there is nobody to ask: such a device
    // is opened, or refused, at once.
    if (!QFileInfo::exists(device()) || !ServiceBus::serviceMayRun()) return openDirectly();
    if (!m_service.open(settings)) return openDirectly();
    m_asking = true;
    return true;
}

bool LocalConnection::openDirectly()
{
    m_active = &m_direct;
    if (!m_direct.open(m_settings)) return fail(m_direct.failure());
    return true;
}

void LocalConnection::onServiceFailed(const LinkFailure &failure)
{
    if (!m_asking) return;
    m_asking = false;
    // The service has the device, and says why the line cannot be had; or it had the device
    // and is away.
    if (m_withService || m_service.found()) {
        m_withService = true;
        m_active = &m_service;
        fail(failure);
        Q_EMIT connectFailed(this->failure());
        return;
    }
    if (openDirectly())
        Q_EMIT connected();
    else
        Q_EMIT connectFailed(this->failure());
}

void LocalConnection::close()
{
    m_asking = false;
    m_service.close();
    m_direct.close();
}

bool LocalConnection::applySettings(const LineSettings &settings)
{
    m_settings = settings;
    Connection &to = m_active ? *m_active : m_direct;
    if (!to.applySettings(settings)) return fail(to.failure());
    return true;
}

bool LocalConnection::write(const QByteArray &bytes)
{
    if (!isOpen()) return fail(Action::Send, Cause::NotOpen);
    if (!m_active->write(bytes)) return fail(m_active->failure());
    return true;
}

// The service's client watches for the service's return, or for the projector's at the
// service; otherwise the device's folder is watched, as for any local device.
bool LocalConnection::watchForReturn()
{
    if (m_withService) return m_service.watchForReturn();
    return m_direct.watchForReturn();
}

void LocalConnection::stopWatching()
{
    m_service.stopWatching();
    m_direct.stopWatching();
}
