// SPDX-License-Identifier: MIT
#include "PortList.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace {
// Where a link finally leads; a dangling link still names its target.
QString targetOf(const QFileInfo &link)
{
    const QString canonical = link.canonicalFilePath();
    return canonical.isEmpty() ? link.symLinkTarget() : canonical;
}

QString canonical(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}
} // namespace

QList<FoundPort> PortList::system()
{
    QList<FoundPort> ports;
    // Test hook: when PROJECTOR_PANEL_PORT_LIST is set, its comma-separated entries are the
    // ports found (none if it is empty), each LOCATION[|DESCRIPTION|MAKER|SERIAL NUMBER].
    if (qEnvironmentVariableIsSet("PROJECTOR_PANEL_PORT_LIST")) {
        const QStringList entries = qEnvironmentVariable("PROJECTOR_PANEL_PORT_LIST")
                                        .split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &entry : entries) {
            const QStringList f = entry.split(QLatin1Char('|'));
            ports.append({f[0], f[0], f.value(1), f.value(2), f.value(3)});
        }
        return withStableNames(std::move(ports));
    }
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        const QString location = info.systemLocation();
        ports.append(
            {location, location, info.description(), info.manufacturer(), info.serialNumber()});
    }
    return withStableNames(std::move(ports));
}

QList<FoundPort> PortList::withStableNames(QList<FoundPort> ports, const QString &byIdFolder)
{
    QHash<QString, QString> byTarget;
    const QFileInfoList links =
        QDir(byIdFolder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links)
        if (link.isSymLink()) byTarget.insert(targetOf(link), link.absoluteFilePath());
    for (FoundPort &port : ports) {
        const QString stable = byTarget.value(canonical(port.location));
        if (!stable.isEmpty()) port.device = stable;
    }
    return ports;
}
