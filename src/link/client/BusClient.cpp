// SPDX-License-Identifier: MIT
#include "BusClient.h"

#include "BusCalls.h"
#include "BusListing.h"
#include "BusMembers.h"
#include "ServiceBus.h"
#include "ServiceNames.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QObject>

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

// The programs' category for their lines, under the same name.
Q_LOGGING_CATEGORY(lcSerial, "panel.serial", QtWarningMsg)

using Cause = LinkFailure::Cause;
using Action = LinkFailure::Action;
using namespace BusCalls;

namespace {

namespace Projector = BusMembers::Projector;
namespace Error = BusMembers::Error;

const QString ProjectorInterface = QLatin1String(Projector::Interface);

QString member(const char *name)
{
    return QLatin1String(name);
}

} // namespace

BusClient::BusClient(const QString &device, Lookup lookup, ServiceClient::Events &events)
    : m_device(device), m_lookup(lookup), m_events(events)
{
}

BusClient::~BusClient()
{
    closeOwnLine();
    unsubscribe();
}

bool BusClient::open()
{
    if (isOpen()) return true;
    if (isConnecting()) return fail(Action::Open, Cause::Connecting);
    const bool byName = m_lookup == Lookup::ByName;
    const QString name = ServiceNames::projectorName(m_device);
    if (byName && name.isEmpty()) return fail(Action::Open, Cause::ServiceNoName);
    m_bus = serviceBus();
    if (!m_bus.isConnected()) return fail(Action::Open, Cause::NoServiceBus, busKind());
    if (!m_watcher) {
        m_watcher = std::make_unique<QDBusServiceWatcher>(BusName, m_bus,
                                                          QDBusServiceWatcher::WatchForOwnerChange);
        connect(m_watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                    onOwnerChanged(oldOwner, newOwner);
                });
    }
    ++m_generation;
    dropListing();
    m_found = false;
    m_watching = false;
    m_unread.clear();
    m_step = Step::Finding;
    QDBusMessage find =
        QDBusMessage::createMethodCall(BusName, QLatin1String(ServiceNames::ManagerPath),
                                       QLatin1String(BusMembers::Manager::Interface),
                                       member(byName ? BusMembers::Manager::Method::FindProjector
                                                     : BusMembers::Manager::Method::FindDevice));
    // The service resolves links, but a relative name only means something here.
    find << (byName ? name : QFileInfo(m_device).absoluteFilePath());
    // Looking for a local device must not start the service: without it the device is opened
    // directly, as ever.
    find.setAutoStartService(byName);
    call(find, [this](const QDBusMessage &reply) { onFound(reply); });
    return true;
}

// A local device that the service holds is told from a projector named at the service: the
// program could have the device but for the service.
Cause BusClient::offline() const
{
    return m_lookup == Lookup::ByDevice ? Cause::HeldOffline : Cause::ServiceOffline;
}

bool BusClient::fail(Action action, Cause cause, const QString &detail)
{
    m_failure = LinkFailure{action, cause, 0, m_device, detail};
    return false;
}

template <typename F> void BusClient::call(const QDBusMessage &message, F &&answered)
{
    auto *watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(message, int(CallTimeout.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, generation = m_generation, answered = std::forward<F>(answered)] {
                watcher->deleteLater();
                if (generation == m_generation) answered(watcher->reply());
            });
}

QDBusMessage BusClient::projectorCall(const QString &interface, const QString &member) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(BusName, m_path, interface, member);
    message.setAutoStartService(false);
    return message;
}

void BusClient::onFound(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage) return failedStep(QDBusError(reply));
    const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (path.isEmpty()) return connectFailedWith(Cause::ServiceFailed, reply.signature());
    m_found = true;
    m_held = true;
    m_owner = reply.service();
    // Before reading the state, so that no change after the reading is missed.
    subscribe(path);
    m_step = Step::Reading;
    call(projectorCall(PropertiesInterface, QStringLiteral("GetAll")) << ProjectorInterface,
         [this](const QDBusMessage &answer) { onRead(answer); });
}

void BusClient::onRead(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage) return failedStep(QDBusError(reply));
    takeProperties(qdbus_cast<QVariantMap>(reply.arguments().value(0)));
    if (!m_online) return connectFailedWith(offline(), m_serviceFailure);
    m_step = Step::Trying;
    // A bus on a unix socket always passes sockets; one that cannot is no way to the service.
    if (!(m_bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        return connectFailedWith(Cause::ServiceFailed,
                                 QStringLiteral("no file descriptor passing"));
    call(projectorCall(ProjectorInterface, member(Projector::Method::OpenLine)),
         [this](const QDBusMessage &answer) { onLineOpened(answer); });
}

void BusClient::onLineOpened(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage) return failedStep(QDBusError(reply));
    const auto socket = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
    closeOwnLine();
    if (socket.isValid()) m_ownLine = ::fcntl(socket.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (m_ownLine < 0) return connectFailedWith(Cause::ServiceFailed, reply.signature());
    if (!m_online) return connectFailedWith(offline(), m_serviceFailure);
    m_step = Step::Open;
    m_events.onConnected();
}

void BusClient::closeOwnLine()
{
    if (m_ownLine >= 0) ::close(m_ownLine);
    m_ownLine = -1;
}

void BusClient::connectFailedWith(Cause cause, const QString &detail)
{
    closeOwnLine();
    ++m_generation;
    m_step = Step::Closed;
    fail(Action::Open, cause, detail);
    m_events.onConnectFailed(m_failure);
}

void BusClient::failedStep(const QDBusError &error)
{
    const QString name = error.name();
    const QString said = error.message().isEmpty() ? name : error.message();
    if (name == QLatin1String(Error::NoSuchProjector)) {
        if (m_lookup == Lookup::ByDevice) return connectFailedWith(Cause::NoSuchProjector);
        m_listing = std::make_unique<BusListing>(static_cast<ServiceListing::Events &>(*this));
        return;
    }
    if (name == QLatin1String(Error::Offline)) return connectFailedWith(offline(), error.message());
    // When the bus tried to start the service, it says why that failed.
    if (isAbsent(error))
        return connectFailedWith(Cause::ServiceNotRunning,
                                 m_lookup == Lookup::ByName ? said : QString());
    switch (error.type()) {
    case QDBusError::AccessDenied: return connectFailedWith(Cause::AccessDenied);
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut: return connectFailedWith(Cause::ServiceNotAnswering);
    case QDBusError::Disconnected: return connectFailedWith(Cause::NoServiceBus, busKind());
    // A projector taken out of the configuration between the steps.
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface: return connectFailedWith(Cause::NoSuchProjector);
    default: break;
    }
    if (name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn")))
        return connectFailedWith(Cause::ServiceNotRunning, said);
    connectFailedWith(Cause::ServiceFailed, said);
}

// Later: it may be answering now.
void BusClient::dropListing()
{
    if (m_listing) m_listing.release()->deleteLater();
}

void BusClient::onListed(const QList<ServiceProjector> &projectors)
{
    dropListing();
    QStringList names;
    for (const ServiceProjector &p : projectors) names << p.name;
    connectFailedWith(Cause::NoSuchProjector, names.join(QLatin1String(", ")));
}

void BusClient::onListFailed(const LinkFailure &)
{
    dropListing();
    connectFailedWith(Cause::NoSuchProjector);
}

void BusClient::close()
{
    dropListing();
    closeOwnLine();
    ++m_generation;
    m_step = Step::Closed;
    m_watching = false;
    m_unread.clear();
    unsubscribe();
}

bool BusClient::write(const QByteArray &bytes)
{
    if (!isOpen()) return fail(Action::Send, Cause::NotOpen);
    const ssize_t n =
        ::send(m_ownLine, bytes.constData(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n == bytes.size()) return true;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return fail(Action::Send, Cause::ServiceBusy);
    // The service closed the socket: it went away, or it refused a line.
    lose(Cause::ServiceGone);
    return false;
}

void BusClient::lose(Cause cause, const QString &detail)
{
    if (!isOpen()) return;
    closeOwnLine();
    ++m_generation;
    m_step = Step::Closed;
    m_unread.clear();
    fail(Action::Lose, cause, detail);
    m_events.onLost(m_failure);
}

QByteArray BusClient::readAll()
{
    return std::exchange(m_unread, {});
}

// What can be watched for: the service's return to the bus, or the projector's return at the
// service. Anything else (a service that stopped answering) only a timed retry can tell. A
// local device is waited for at the service only once the service has held it: one that the
// service never had is opened directly.
bool BusClient::watchForReturn()
{
    if (!m_watcher) return false;
    const bool forTheService = m_owner.isEmpty() && (m_lookup == Lookup::ByName || m_held);
    const bool forTheProjector = !m_owner.isEmpty() && !m_online;
    m_watching = forTheService || forTheProjector;
    return m_watching;
}

void BusClient::onOwnerChanged(const QString &oldOwner, const QString &newOwner)
{
    const bool left = !oldOwner.isEmpty() && oldOwner == m_owner;
    m_owner = newOwner;
    if (left) {
        m_online = false;
        lose(Cause::ServiceGone);
    }
    if (m_watching && !newOwner.isEmpty()) {
        m_watching = false;
        m_events.onAvailable();
    }
}

void BusClient::onPropertiesChanged(const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args.at(0).toString() != ProjectorInterface) return;
    const bool wasOnline = m_online;
    takeProperties(qdbus_cast<QVariantMap>(args.at(1)));
    if (wasOnline && !m_online) lose(offline(), m_serviceFailure);
    if (!wasOnline && m_online && m_watching) {
        m_watching = false;
        m_events.onAvailable();
    }
}

void BusClient::takeProperties(const QVariantMap &properties)
{
    namespace Property = Projector::Property;
    if (auto it = properties.find(member(Property::Online)); it != properties.end())
        m_online = it->toBool();
    if (auto it = properties.find(member(Property::Failure)); it != properties.end())
        m_serviceFailure = it->toString();
    if (auto it = properties.find(member(Property::LineSettings)); it != properties.end())
        m_lineSettings = it->toString();
}

void BusClient::onLineSent(const QByteArray &line, const QString &client, const QString &sender)
{
    if (isOpen() && sender != m_bus.baseService()) m_events.onSharedLineSent(line, client);
}

void BusClient::onReceived(const QByteArray &bytes, const QString &owner)
{
    if (!isOpen() || bytes.isEmpty()) return;
    if (m_ownRepliesOnly && owner != m_bus.baseService()) return;
    // The reader takes everything at each received(); bytes pile up only for one that stopped.
    if (m_unread.size() + bytes.size() > MaxUnread) {
        m_dropped += bytes.size();
        qCWarning(lcSerial) << "dropped" << m_dropped << "bytes from projectord unread";
        return;
    }
    m_unread += bytes;
    m_events.onReceived();
}

void BusClient::subscribe(const QString &path)
{
    if (path == m_path) return;
    unsubscribe();
    m_path = path;
    m_bus.connect(BusName, path, ProjectorInterface, member(Projector::Signal::LineSent), this,
                  SLOT(onLineSent(QByteArray, QString, QString)));
    m_bus.connect(BusName, path, ProjectorInterface, member(Projector::Signal::Received), this,
                  SLOT(onReceived(QByteArray, QString)));
    m_bus.connect(BusName, path, PropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QDBusMessage)));
}

void BusClient::unsubscribe()
{
    if (m_path.isEmpty()) return;
    m_bus.disconnect(BusName, m_path, ProjectorInterface, member(Projector::Signal::LineSent), this,
                     SLOT(onLineSent(QByteArray, QString, QString)));
    m_bus.disconnect(BusName, m_path, ProjectorInterface, member(Projector::Signal::Received), this,
                     SLOT(onReceived(QByteArray, QString)));
    m_bus.disconnect(BusName, m_path, PropertiesInterface, QStringLiteral("PropertiesChanged"),
                     this, SLOT(onPropertiesChanged(QDBusMessage)));
    m_path.clear();
}
