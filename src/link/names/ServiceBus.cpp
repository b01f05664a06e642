// SPDX-License-Identifier: MIT
#include "ServiceBus.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>

namespace {

bool mayListenAt(const QByteArray &address)
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

QString ServiceBus::runDirectory(bool session)
{
    const QString named = qEnvironmentVariable("PROJECTORD_RUNTIME_DIR");
    if (!named.isEmpty()) return named;
    if (!session) return QStringLiteral("/run/projectord");
    const QString user = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return user.isEmpty() ? QString() : user + QLatin1String("/projectord");
}

bool ServiceBus::serviceMayRun()
{
    const QString dir = runDirectory(isSession());
    return dir.isEmpty() || QFileInfo(dir).isDir();
}

bool ServiceBus::mayListen()
{
    if (isSession()) return true;
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    // libdbus's own default when the environment names none.
    return mayListenAt(address.isEmpty() ? "unix:path=/var/run/dbus/system_bus_socket" : address);
}
