// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceConfig.h"

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>

// The service's manager on the bus, under its generated adaptor: which projectors there are and
// where each one is.
class ManagerObject final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QString Version READ version)

public:
    // A device name or projector name longer than this is no projector's.
    static constexpr int MaxNameLength = 4096;

    explicit ManagerObject(QList<ProjectorConfig> projectors, QObject *parent = nullptr);

    // A reload's projectors, in the configuration's order.
    void setProjectors(QList<ProjectorConfig> projectors) { m_projectors = std::move(projectors); }

    // The interface's methods, called by the adaptor.
    QList<QDBusObjectPath> ListProjectors();
    QDBusObjectPath FindDevice(const QString &device);
    QDBusObjectPath FindProjector(const QString &name);

    QString version() const;

    // The file a device name leads to now, links resolved; a device server's address as given.
    static QString deviceFile(const QString &device);

private:
    QDBusObjectPath noSuchProjector(const QString &message);

    QList<ProjectorConfig> m_projectors;
};
