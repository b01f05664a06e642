// SPDX-License-Identifier: MIT
#include "DeviceMemory.h"

#include "DeviceLink.h"

#include <QSettings>

namespace {
QString keyFor(int port)
{
    return QStringLiteral("devices/port%1").arg(port);
}

bool isPort(int port)
{
    return port == 1 || port == 2;
}
} // namespace

QString DeviceMemory::remembered(int port) const
{
    if (!isPort(port)) return {};
    return QSettings().value(keyFor(port)).toString().trimmed();
}

void DeviceMemory::remember(int port, const QString &device)
{
    const QString name = device.trimmed();
    if (!isPort(port) || name.isEmpty()) return;
    QSettings settings;
    settings.setValue(keyFor(port), name);
}

QString DeviceMemory::deviceFor(int port, const QString &fromCommandLine) const
{
    if (!fromCommandLine.isEmpty()) return fromCommandLine;
    const QString kept = remembered(port);
    return kept.isEmpty() ? DeviceLink::defaultDevice(port) : kept;
}
