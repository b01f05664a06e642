// SPDX-License-Identifier: MIT
#include "BusFront.h"

#include "ClientNames.h"
#include "ManagerObject.h"
#include "ProjectorObject.h"
#include "ServiceNames.h"
#include "projectoradaptor.h"
#include "projectordadaptor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

BusFront::BusFront(const QDBusConnection &bus, const QList<ProjectorHost *> &hosts, QObject *parent)
    : QObject(parent), m_bus(bus), m_names(new ClientNames(bus, this))
{
    QList<ProjectorConfig> configs;
    for (ProjectorHost *host : hosts) {
        configs.append(host->config());
        auto *projector = new ProjectorObject(*host, *m_names, m_bus, this);
        new ProjectorAdaptor(projector);
        m_projectors.append(projector);
    }
    m_manager = new ManagerObject(configs, this);
    new ProjectordAdaptor(m_manager);
    // Qt has no signal of its own for a lost connection; libdbus hands this one to every filter
    // when the socket closes, and Qt passes it on like any other.
    m_bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                  QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"),
                  this, SLOT(onDisconnected()));
}

void BusFront::onDisconnected()
{
    Q_EMIT busLost();
}

bool BusFront::exportObjects(QString *why)
{
    const auto put = [&](const QString &path, QObject *object) {
        if (m_bus.registerObject(path, object, QDBusConnection::ExportAdaptors)) return true;
        *why = QStringLiteral("cannot put an object at %1 on the bus").arg(path);
        return false;
    };
    if (!put(QLatin1String(ServiceNames::ManagerPath), m_manager)) return false;
    for (ProjectorObject *p : qAsConst(m_projectors))
        if (!put(p->path(), p)) return false;
    return true;
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
