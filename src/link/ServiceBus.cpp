// SPDX-License-Identifier: MIT
#include "ServiceBus.h"

bool ServiceBus::isSession()
{
    return qEnvironmentVariable("PROJECTORD_BUS") == QLatin1String("session");
}

QDBusConnection ServiceBus::connection()
{
    return isSession() ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
}
