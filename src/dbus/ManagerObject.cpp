// SPDX-License-Identifier: MIT
#include "ManagerObject.h"

#include "BusMembers.h"
#include "PanelVersion.h"
#include "ServiceNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>

namespace {

// A name from a client as an error message quotes it: never more than a line's worth.
QString quoted(const QString &name)
{
    constexpr int Shown = 80;
    return u'"' + (name.size() > Shown ? name.left(Shown) + QStringLiteral("...") : name) + u'"';
}

} // namespace

ManagerObject::ManagerObject(QList<ProjectorConfig> projectors, QObject *parent)
    : QObject(parent), m_projectors(std::move(projectors))
{
}

QList<QDBusObjectPath> ManagerObject::ListProjectors()
{
    QList<QDBusObjectPath> paths;
    for (const ProjectorConfig &p : m_projectors)
        paths.append(QDBusObjectPath(ServiceNames::projectorPath(p.name)));
    return paths;
}

// Resolved at every call: a /dev/serial/by-id link may lead to another device after a replug.
QDBusObjectPath ManagerObject::FindDevice(const QString &device)
{
    if (!device.isEmpty() && device.size() <= MaxNameLength) {
        const QString wanted = deviceFile(device);
        for (const ProjectorConfig &p : m_projectors)
            if (deviceFile(p.device) == wanted)
                return QDBusObjectPath(ServiceNames::projectorPath(p.name));
    }
    return noSuchProjector(QStringLiteral("no projector has the device %1").arg(quoted(device)));
}

QDBusObjectPath ManagerObject::FindProjector(const QString &name)
{
    for (const ProjectorConfig &p : m_projectors)
        if (p.name == name) return QDBusObjectPath(ServiceNames::projectorPath(p.name));
    return noSuchProjector(QStringLiteral("no projector is called %1").arg(quoted(name)));
}

QString ManagerObject::version() const
{
    return QLatin1String(PanelVersion);
}

QString ManagerObject::deviceFile(const QString &device)
{
    if (device.contains(QLatin1String("://"))) return device;
    const QFileInfo info(device);
    const QString file = info.canonicalFilePath(); // empty while it does not exist
    return file.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : file;
}

QDBusObjectPath ManagerObject::noSuchProjector(const QString &message)
{
    sendErrorReply(QLatin1String(BusMembers::Error::NoSuchProjector), message);
    return {};
}
