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

Q_SIGNALS:
    void nameClaimed();
    void nameRefused(const QString &why);

private:
    QDBusConnection m_bus;
    ClientNames *m_names = nullptr;
    ManagerObject *m_manager = nullptr;
    QList<ProjectorObject *> m_projectors;
};
