// SPDX-License-Identifier: MIT
#include "BusFront.h"

#include "ClientNames.h"
#include "ManagerObject.h"
#include "ObjectManager.h"
#include "ProjectorHost.h"
#include "ProjectorObject.h"
#include "ServiceNames.h"
#include "projectoradaptor.h"
#include "projectordadaptor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString ProjectorInterface = QLatin1String(ServiceNames::ProjectorInterface);
}

BusFront::BusFront(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus), m_names(new ClientNames(bus, this)),
      m_manager(new ManagerObject({}, this))
{
    new ProjectordAdaptor(m_manager);
    m_objectManager = new ObjectManagerAdaptor(m_manager, [this] {
        ManagedObjects objects;
        for (const ProjectorObject *p : qAsConst(m_projectors))
            objects.insert(QDBusObjectPath(p->path()), {{ProjectorInterface, p->properties()}});
        return objects;
    });
    // Qt has no signal of its own for a lost connection; libdbus hands this one to every filter
    // when the socket closes, and Qt passes it on like any other.
    m_bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                  QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"),
                  this, SLOT(onDisconnected()));
}

// The objects go before the hosts they refer to.
BusFront::~BusFront()
{
    qDeleteAll(m_projectors);
}

void BusFront::onDisconnected()
{
    Q_EMIT busLost();
}

bool BusFront::exportManager(QString *why)
{
    const QString path = QLatin1String(ServiceNames::ManagerPath);
    if (m_bus.registerObject(path, m_manager, QDBusConnection::ExportAdaptors)) return true;
    *why = QStringLiteral("cannot put an object at %1 on the bus").arg(path);
    return false;
}

ProjectorObject *BusFront::makeObject(ProjectorHost &host)
{
    auto *projector = new ProjectorObject(host, *m_names, m_bus);
    new ProjectorAdaptor(projector);
    return projector;
}

bool BusFront::addProjector(ProjectorHost &host, QString *why)
{
    ProjectorObject *projector = makeObject(host);
    if (!m_bus.registerObject(projector->path(), projector, QDBusConnection::ExportAdaptors)) {
        *why = QStringLiteral("cannot put an object at %1 on the bus").arg(projector->path());
        delete projector;
        return false;
    }
    m_projectors.insert(host.config().name, projector);
    Q_EMIT m_objectManager->InterfacesAdded(QDBusObjectPath(projector->path()),
                                            {{ProjectorInterface, projector->properties()}});
    return true;
}

void BusFront::replaceProjector(ProjectorHost &host)
{
    ProjectorObject *old = m_projectors.take(host.config().name);
    if (!old) return;
    const QString path = old->path();
    const QVariantMap before = old->properties(); // its host is still there
    m_bus.unregisterObject(path);
    delete old;
    ProjectorObject *projector = makeObject(host);
    m_bus.registerObject(path, projector, QDBusConnection::ExportAdaptors);
    m_projectors.insert(host.config().name, projector);
    // The clients know the old object's properties: say what differs now.
    projector->announceSince(before);
}

void BusFront::removeProjector(const QString &name)
{
    ProjectorObject *old = m_projectors.take(name);
    if (!old) return;
    const QString path = old->path();
    m_bus.unregisterObject(path);
    delete old;
    Q_EMIT m_objectManager->InterfacesRemoved(QDBusObjectPath(path), {ProjectorInterface});
}

void BusFront::setProjectors(const QList<ProjectorConfig> &projectors)
{
    m_manager->setProjectors(projectors);
}

void BusFront::claimName()
{
    constexpr uint DoNotQueue = 0x4; // fail at once when the name has an owner
    constexpr uint PrimaryOwner = 1;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    ask << QLatin1String(ServiceNames::BusName) << DoNotQueue;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            Q_EMIT nameRefused(
                QStringLiteral("the bus refused the name %1: %2")
                    .arg(QLatin1String(ServiceNames::BusName), reply.error().message()));
        else if (reply.value() != PrimaryOwner)
            Q_EMIT nameRefused(QStringLiteral("the bus name %1 is taken: is projectord running "
                                              "already?")
                                   .arg(QLatin1String(ServiceNames::BusName)));
        else {
            m_claimed = true;
            Q_EMIT nameClaimed();
        }
    });
}

void BusFront::releaseName()
{
    if (!m_claimed) return;
    m_claimed = false;
    constexpr int Patience = 1000; // ms; a bus that takes longer is about to go anyway
    QDBusMessage release = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReleaseName"));
    release << QLatin1String(ServiceNames::BusName);
    // Blocks without running the event loop: nothing else is due while the service stops.
    m_bus.call(release, QDBus::Block, Patience);
}
