// SPDX-License-Identifier: MIT
#include "ServiceBus.h"

#include <QFileInfo>

namespace {

// Whether a bus may listen at `address`. A plain unix path is looked at without the bus
// library, so a machine without the bus spares every program its bus thread and connection;
// any other kind of address is tried.
bool mayListen(const QByteArray &address)
{
    constexpr QByteArrayView Prefix("unix:path=");
    if (!address.startsWith(Prefix) || address.contains(';')) return true;
    const QByteArray path = address.mid(Prefix.size()).split(',').first();
    return QFileInfo::exists(QString::fromLocal8Bit(path));
}

} // namespace

bool ServiceBus::isSession()
{
    return qEnvironmentVariable("PROJECTORD_BUS") == QLatin1String("session");
}

QDBusConnection ServiceBus::connection()
{
    if (isSession()) return QDBusConnection::sessionBus();
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    // libdbus's own default when the environment names none.
    if (!mayListen(address.isEmpty() ? "unix:path=/var/run/dbus/system_bus_socket" : address))
        return QDBusConnection(QString());
    return QDBusConnection::systemBus();
}
