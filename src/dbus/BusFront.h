// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>

class ClientNames;
class ManagerObject;
class ProjectorHost;
class ProjectorObject;

// projectord on one bus: the manager, one object per projector over its host, and the bus name.
class BusFront final : public QObject
{
    Q_OBJECT
public:
    BusFront(const QDBusConnection &bus, const QList<ProjectorHost *> &hosts,
             QObject *parent = nullptr);

    // Puts the objects on the bus; false, with the reason in `why`, when it cannot.
    bool exportObjects(QString *why);
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
    QDBusConnection m_bus;
    ClientNames *m_names = nullptr;
    ManagerObject *m_manager = nullptr;
    QList<ProjectorObject *> m_projectors;
    bool m_claimed = false;
};
