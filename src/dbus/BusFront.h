// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceConfig.h"

#include <QDBusConnection>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

class ClientNames;
class ManagerObject;
class ObjectManagerAdaptor;
class ProjectorHost;
class ProjectorObject;

// projectord on one bus: the manager, one object per projector over its host, and the bus name.
// Projectors come and go with reloads; the manager's ObjectManager announces each.
class BusFront final : public QObject
{
    Q_OBJECT
public:
    explicit BusFront(const QDBusConnection &bus, QObject *parent = nullptr);
    ~BusFront() override;

    // Puts the manager on the bus; false, with the reason in `why`, when it cannot.
    bool exportManager(QString *why);
    // Puts a projector on the bus at its name's path, announced with InterfacesAdded; false,
    // with the reason in `why`, when it cannot. The host outlives its object here.
    bool addProjector(ProjectorHost &host, QString *why);
    // The projector of that name on a new host, at the same path and without leaving the bus:
    // its clients see what changed, Online among them. The old host is still there.
    void replaceProjector(ProjectorHost &host);
    // The projector leaves the bus, announced with InterfacesRemoved.
    void removeProjector(const QString &name);
    // What the manager lists and finds, in the configuration's order.
    void setProjectors(const QList<ProjectorConfig> &projectors);

    // Asks for the service's bus name without waiting: nameClaimed() or nameRefused() follows.
    void claimName();
    // Gives the name back, once claimed, and waits up to a second for the bus to take it: the
    // bus then has every reply sent before, and the clients see the service go at once.
    void releaseName();

Q_SIGNALS:
    void nameClaimed();
    void nameRefused(const QString &why);
    // The connection to the bus is gone for good: its daemon stopped or dropped us. Nothing
    // reaches the clients any more, nor they us.
    void busLost();

private Q_SLOTS:
    void onDisconnected();

private:
    ProjectorObject *makeObject(ProjectorHost &host);

    QDBusConnection m_bus;
    ClientNames *m_names = nullptr;
    ManagerObject *m_manager = nullptr;
    ObjectManagerAdaptor *m_objectManager = nullptr;
    QMap<QString, ProjectorObject *> m_projectors; // by name
    bool m_claimed = false;
};
