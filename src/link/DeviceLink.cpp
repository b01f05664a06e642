// SPDX-License-Identifier: MIT
#include "DeviceLink.h"

#include "NetConnection.h"
#include "TtyConnection.h"

Q_LOGGING_CATEGORY(lcSerial, "panel.serial", QtWarningMsg)

using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;

DeviceLink::DeviceLink(const QString &device1, const QString &device2, QObject *parent)
    : SerialLink(parent), m_devices{device1, device2}
{
}

DeviceLink::~DeviceLink() = default;

QString DeviceLink::defaultDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

std::unique_ptr<Connection> DeviceLink::makeConnection(const QString &device)
{
    if (NetConnection::handles(device)) return std::make_unique<NetConnection>(device);
    return std::make_unique<TtyConnection>(device);
}

QString DeviceLink::device(int port) const
{
    return (port == 1 || port == 2) ? m_devices[port - 1] : QString();
}

void DeviceLink::setDevice(int port, const QString &device)
{
    if (port != 1 && port != 2) return;
    m_devices[port - 1] = device;
    if (port == m_portNumber && m_connection && !m_connection->isOpen()) {
        m_connection.reset();
        m_waiting = false;
    }
}

bool DeviceLink::failWith(LinkFailure failure)
{
    failure.port = m_portNumber;
    if (failure.device.isEmpty()) failure.device = deviceName();
    return fail(std::move(failure));
}

bool DeviceLink::isOpen() const
{
    return m_connection && m_connection->isOpen();
}

bool DeviceLink::open()
{
    if (isOpen()) return true;
    if (!m_connection) {
        m_connection = makeConnection(deviceName());
        connect(m_connection.get(), &Connection::received, this, &SerialLink::received);
        connect(m_connection.get(), &Connection::lost, this, &DeviceLink::onLost);
        connect(m_connection.get(), &Connection::available, this, &DeviceLink::onAvailable);
    }
    if (!m_connection->open(m_settings)) return failWith(m_connection->failure());
    qCDebug(lcSerial) << "opened port" << m_portNumber << deviceName();
    if (m_waiting) {
        m_waiting = false;
        Q_EMIT restored();
    }
    Q_EMIT opened();
    return true;
}

void DeviceLink::close()
{
    const bool wasOpen = isOpen();
    m_waiting = false;
    if (m_connection) {
        m_connection->stopWatching();
        m_connection->close();
    }
    if (wasOpen) {
        qCDebug(lcSerial) << "closed port" << m_portNumber << deviceName();
        Q_EMIT closed();
    }
}

bool DeviceLink::setPortNumber(int port)
{
    if (port != 1 && port != 2)
        return fail(LinkFailure{Action::SwitchPort, Cause::NoSuchPort, port, {}, {}});
    if (isOpen()) return failWith({Action::SwitchPort, Cause::StillOpen, 0, {}, {}});
    if (port != m_portNumber) {
        // A different device: stop waiting for the old one.
        m_connection.reset();
        m_waiting = false;
    }
    m_portNumber = port;
    return true;
}

bool DeviceLink::applySettings(const LineSettings &settings)
{
    m_settings = settings;
    if (m_connection && !m_connection->applySettings(settings))
        return failWith(m_connection->failure());
    qCDebug(lcSerial) << "settings" << settings.toString() << "on port" << m_portNumber;
    Q_EMIT settingsApplied(settings);
    return true;
}

bool DeviceLink::write(const QByteArray &bytes)
{
    if (!isOpen()) return failWith({Action::Send, Cause::NotOpen, 0, {}, {}});
    if (!m_connection->write(bytes)) return failWith(m_connection->failure());
    qCDebug(lcSerial) << "port" << m_portNumber << "sent" << bytes;
    return true;
}

QByteArray DeviceLink::readAll()
{
    if (!m_connection) return {};
    QByteArray bytes = m_connection->readAll();
    if (!bytes.isEmpty()) qCDebug(lcSerial) << "port" << m_portNumber << "received" << bytes;
    return bytes;
}

void DeviceLink::onLost(const LinkFailure &failure)
{
    m_waiting = true;
    LinkFailure f = failure;
    f.port = m_portNumber;
    fail(f);
    qCDebug(lcSerial) << "lost port" << m_portNumber << deviceName();
    Q_EMIT lost(f);
    if (m_waiting && m_connection) m_connection->watchForReturn();
}

void DeviceLink::onAvailable()
{
    if (!m_waiting || !m_connection) return;
    if (m_connection->open(m_settings)) {
        m_waiting = false;
        qCDebug(lcSerial) << "reopened port" << m_portNumber << deviceName();
        Q_EMIT restored();
        return;
    }
    m_connection->watchForReturn();
}
