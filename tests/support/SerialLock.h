// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

// The lock file Qt Serial Port makes for an open device: LCK..NAME, its path after /dev/ with
// each / written _, in the first of the usual lock folders this user may write, else in the
// temporary folder. Another program finds the device "in use" while it is there.
inline QString serialLockFile(const QString &device)
{
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/"))) name.remove(0, 5);
    name.replace(u'/', u'_');
    const QStringList folders{QStringLiteral("/var/lock"), QStringLiteral("/etc/locks"),
                              QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"),
                              QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    for (const QString &folder : folders) {
        const QFileInfo f(folder);
        if (f.isDir() && f.isReadable() && f.isWritable())
            return QDir(folder).filePath(QStringLiteral("LCK..") + name);
    }
    return {};
}
