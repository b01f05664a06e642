// SPDX-License-Identifier: MIT
#include "DeviceLink.h"

#include "NetAddress.h"
#include "ServiceNames.h"

#include <algorithm>

Q_LOGGING_CATEGORY(lcSerial, "panel.serial", QtWarningMsg)

using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;

DeviceLink::DeviceLink(const QString &device1, const QString &device2, TimerFactory timers,
                       QObject *parent)
    : SerialLink(parent), m_devices{device1, device2}, m_timers(std::move(timers)),
      m_retry(m_timers()), m_settle(m_timers()), m_stable(m_timers())
{
    connect(m_retry.get(), &IntervalTimer::timeout, this, [this] {
        m_retry->stop();
        tryAgain();
    });
    connect(m_settle.get(), &IntervalTimer::timeout, this, &DeviceLink::settled);
    connect(m_stable.get(), &IntervalTimer::timeout, this, [this] {
        m_stable->stop();
        m_attempts = 0;
    });
}

DeviceLink::~DeviceLink() = default;

QString DeviceLink::device(int port) const
{
    return (port == 1 || port == 2) ? m_devices[port - 1] : QString();
}

void DeviceLink::setDevice(int port, const QString &device)
{
    if (port != 1 && port != 2) return;
    m_devices[port - 1] = device;
    if (port == m_portNumber && m_connection && !m_connection->isOpen() && !m_connecting)
        dropConnection();
}

// A different device: whatever was waited for or said of the old one no longer holds.
void DeviceLink::dropConnection()
{
    m_connection.reset();
    m_waiting = false;
    m_settling = false;
    m_attempts = 0;
    m_retry->stop();
    m_settle->stop();
    m_stable->stop();
}

bool DeviceLink::failWith(LinkFailure failure)
{
    failure.port = m_portNumber;
    if (failure.device.isEmpty()) failure.device = deviceName();
    return fail(std::move(failure));
}

SharedConnection *DeviceLink::sharedConnection() const
{
    return qobject_cast<SharedConnection *>(m_connection.get());
}

bool DeviceLink::isShared() const
{
    const SharedConnection *shared = sharedConnection();
    return isOpen() && shared && shared->isShared();
}

void DeviceLink::setThroughService(bool through)
{
    m_throughService = through;
    // The next open makes the connection of the kind now asked for.
    if (m_connection && !isOpen() && !m_connecting && !m_waiting) dropConnection();
}

void DeviceLink::setOwnRepliesOnly(bool own)
{
    m_ownRepliesOnly = own;
    if (SharedConnection *c = sharedConnection()) c->setOwnRepliesOnly(own);
}

bool DeviceLink::isOpen() const
{
    return m_connection && m_connection->isOpen() && !m_connecting && !m_settling;
}

namespace {
// What waiting cannot mend: no device at all, one that is no serial port, an address to correct.
bool worthWaitingFor(Cause cause)
{
    switch (cause) {
    case Cause::NoDevice:
    case Cause::NotSerialPort:
    case Cause::NoSuchPort:
    case Cause::AddressNoScheme:
    case Cause::AddressNoHost:
    case Cause::AddressBadHost:
    case Cause::AddressNoPort:
    case Cause::AddressBadPort:
    case Cause::AddressPortOutOfRange:
    case Cause::CannotSetLine: return false;
    default: return true;
    }
}
} // namespace

bool DeviceLink::openAndWait()
{
    if (open()) {
        m_waitIfNotMade = m_connecting;
        return true;
    }
    if (!m_connection || !worthWaitingFor(failure().cause)) return false;
    qCDebug(lcSerial) << "waiting for port" << m_portNumber << deviceName();
    m_waiting = true;
    waitForDevice();
    return false;
}

bool DeviceLink::open()
{
    m_waitIfNotMade = false;
    if (isOpen() || m_connecting) return true;
    if (!m_connection) {
        m_connection = makeConnection(deviceName(), m_timers, m_throughService);
        Connection *c = m_connection.get();
        connect(c, &Connection::received, this, &SerialLink::received);
        connect(c, &Connection::connected, this, &DeviceLink::onConnected);
        connect(c, &Connection::connectFailed, this, &DeviceLink::onConnectFailed);
        connect(c, &Connection::lost, this, &DeviceLink::onLost);
        connect(c, &Connection::available, this, &DeviceLink::tryAgain);
        if (SharedConnection *shared = sharedConnection()) {
            connect(shared, &SharedConnection::sharedLineSent, this, &SerialLink::sharedLineSent);
            shared->setOwnRepliesOnly(m_ownRepliesOnly);
        }
    }
    // The caller's own open ends any wait for a lost device.
    const bool wasWaiting = std::exchange(m_waiting, false);
    m_waitCause = Cause::AwaitingDevice;
    m_settling = false;
    m_retry->stop();
    m_settle->stop();
    m_connection->stopWatching();
    if (!m_connection->open(m_settings)) {
        if (wasWaiting) Q_EMIT closed();
        failWith(m_connection->failure());
        Q_EMIT cannotOpen(failure());
        return false;
    }
    if (m_connection->isConnecting()) {
        m_connecting = true;
        qCDebug(lcSerial) << "connecting port" << m_portNumber << deviceName();
        return true;
    }
    qCDebug(lcSerial) << "opened port" << m_portNumber << deviceName();
    startStableTimer();
    sayIfShared();
    if (wasWaiting) Q_EMIT restored();
    Q_EMIT opened();
    return true;
}

// A shared line has the settings the service gives it, whatever was asked for: said each time
// it opens, once those are known, as for a raw TCP device.
void DeviceLink::sayIfShared()
{
    const SharedConnection *shared = sharedConnection();
    if (!shared || !shared->isShared()) return;
    LinkFailure f{Action::SetLine, Cause::LineSetByService, m_portNumber, deviceName(),
                  m_settings.toString()};
    f.lineInForce = shared->lineInForce();
    Q_EMIT settingsNotApplied(f);
}

void DeviceLink::onConnected()
{
    startStableTimer();
    if (m_connecting) {
        m_connecting = false;
        qCDebug(lcSerial) << "opened port" << m_portNumber << deviceName();
        sayIfShared();
        // The lines clicked while connecting go first, in order.
        for (const QByteArray &line : std::exchange(m_waitingLines, {})) {
            if (!m_connection->write(line)) {
                failWith(m_connection->failure());
                break;
            }
        }
        Q_EMIT opened();
        return;
    }
    if (!m_waiting) return;
    const auto settle = m_connection->settleTime();
    if (settle.count() > 0) {
        m_settling = true;
        m_settle->setInterval(settle);
        m_settle->start();
        return;
    }
    settled();
}

// Only when there is a backoff to reset: a timer that runs costs a descriptor in every poll of
// a busy receive.
void DeviceLink::startStableTimer()
{
    if (m_attempts == 0) return;
    m_stable->setInterval(StableAfter);
    m_stable->start();
}

void DeviceLink::settled()
{
    m_settle->stop();
    if (!m_waiting) return;
    m_settling = false;
    m_waiting = false;
    qCDebug(lcSerial) << "reopened port" << m_portNumber << deviceName();
    sayIfShared();
    Q_EMIT restored();
}

void DeviceLink::onConnectFailed(const LinkFailure &failure)
{
    if (m_connecting) {
        m_connecting = false;
        const qsizetype dropped = m_waitingLines.size();
        m_waitingLines.clear();
        LinkFailure f = failure;
        f.port = m_portNumber;
        fail(f);
        qCDebug(lcSerial) << "could not connect port" << m_portNumber << deviceName() << "with"
                          << dropped << "lines waiting";
        m_waiting = std::exchange(m_waitIfNotMade, false) && worthWaitingFor(f.cause);
        Q_EMIT cannotOpen(f);
        Q_EMIT openFailed(f);
        if (m_waiting) waitForDevice();
        return;
    }
    // One of the link's own attempts: the wait goes on, quietly.
    if (m_waiting) waitForDevice();
}

void DeviceLink::onLost(const LinkFailure &failure)
{
    m_stable->stop();
    if (m_connecting) {
        // Closed as the connection completed: never open.
        onConnectFailed(failure);
        return;
    }
    if (m_settling) {
        // Accepted and dropped again at once: the device has not come back yet.
        m_settling = false;
        m_settle->stop();
        waitForDevice();
        return;
    }
    m_waiting = true;
    // A stopped projectord is waited for, not the device.
    m_waitCause = failure.cause == Cause::ServiceGone ? failure.cause : Cause::AwaitingDevice;
    LinkFailure f = failure;
    f.port = m_portNumber;
    fail(f);
    qCDebug(lcSerial) << "lost port" << m_portNumber << deviceName();
    Q_EMIT lost(f);
    if (m_waiting && m_connection) waitForDevice();
}

// A missing local device is watched for; otherwise the next attempt waits the backoff, which
// doubles with each failure until the device has been back for StableAfter.
void DeviceLink::waitForDevice()
{
    if (!m_connection || !m_waiting) return;
    if (m_connection->watchForReturn()) return;
    const Connection::Backoff b = m_connection->backoff();
    auto wait = b.first;
    for (int i = 0; i < m_attempts && wait < b.last; ++i) wait *= 2;
    m_attempts = std::min(m_attempts + 1, 30);
    m_retry->setInterval(std::min(wait, b.last));
    m_retry->start();
}

void DeviceLink::tryAgain()
{
    if (!m_waiting || !m_connection || m_connection->isConnecting() || m_settling) return;
    if (!m_connection->open(m_settings)) {
        LinkFailure f = m_connection->failure();
        f.port = m_portNumber;
        qCDebug(lcSerial) << "still not back:" << f.text(LinkFailure::Reader::Log);
        waitForDevice();
        return;
    }
    if (!m_connection->isConnecting()) onConnected();
}

void DeviceLink::close()
{
    // A connection given up while being made was never open: nothing to say it closed.
    const bool wasOpen = isOpen() || m_waiting;
    m_connecting = false;
    m_waiting = false;
    m_waitIfNotMade = false;
    m_settling = false;
    m_waitingLines.clear();
    m_retry->stop();
    m_settle->stop();
    m_stable->stop();
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
    if (isOpen() || m_connecting)
        return failWith({Action::SwitchPort, Cause::StillOpen, 0, {}, {}});
    if (port != m_portNumber) dropConnection();
    m_portNumber = port;
    return true;
}

bool DeviceLink::applySettings(const LineSettings &settings)
{
    m_settings = settings;
    if (m_connection && !m_connection->applySettings(settings))
        return failWith(m_connection->failure());
    const SharedConnection *sharing = sharedConnection();
    const bool shared =
        m_connection ? sharing && sharing->isShared() : ServiceNames::handles(deviceName());
    const bool settable =
        m_connection ? m_connection->canSetLine()
                     : !shared && (!NetAddress::handles(deviceName()) ||
                                   NetAddress::parse(deviceName()).kind != NetAddress::Kind::Raw);
    if (!settable) {
        // Recorded for the next open, but nothing reaches the line: say so every time, and
        // never that the speed changed. Whether to tell a person is the caller's choice.
        qCDebug(lcSerial) << "settings" << settings.toString() << "cannot reach port"
                          << m_portNumber;
        LinkFailure f{Action::SetLine, shared ? Cause::LineSetByService : Cause::LineNotSettable,
                      m_portNumber, deviceName(), settings.toString()};
        if (sharing) f.lineInForce = sharing->lineInForce();
        Q_EMIT settingsNotApplied(f);
        return true;
    }
    qCDebug(lcSerial) << "settings" << settings.toString() << "on port" << m_portNumber;
    Q_EMIT settingsApplied(settings);
    return true;
}

bool DeviceLink::write(const QByteArray &bytes)
{
    if (m_connecting) {
        if (m_waitingLines.size() >= MaxWaitingLines)
            return failWith({Action::Send, Cause::QueueFull, 0, {}, {}, 0, -1, MaxWaitingLines});
        m_waitingLines.append(bytes);
        return true;
    }
    if (m_waiting) return failWith({Action::Send, m_waitCause, 0, {}, {}});
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
