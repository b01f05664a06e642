// SPDX-License-Identifier: MIT
#pragma once

#include "LinkFailure.h"
#include "ServiceBus.h"
#include "ServiceNames.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QString>

// What the plug-in's clients of projectord share: where the bus is, and what its errors mean.
namespace BusCalls {

inline const QString BusName = QLatin1String(ServiceNames::BusName);
inline const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// Connected on first use, which waits for the local bus daemon only; not connected when there
// is no bus. ServiceConnection has looked for the system bus's socket before loading this.
inline QDBusConnection serviceBus()
{
    return ServiceBus::isSession() ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
}

inline QString busKind()
{
    return ServiceBus::isSession() ? QStringLiteral("session") : QStringLiteral("system");
}

// The bus found nobody there: not running, or not started.
inline bool isAbsent(const QDBusError &error)
{
    return error.type() == QDBusError::ServiceUnknown || error.type() == QDBusError::NoServer ||
           error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

// The cause for an error of the bus's own, or ServiceFailed with its words in `detail`.
inline LinkFailure::Cause busCause(const QDBusError &error, QString *detail)
{
    using Cause = LinkFailure::Cause;
    if (isAbsent(error)) return Cause::ServiceNotRunning;
    switch (error.type()) {
    case QDBusError::AccessDenied: return Cause::AccessDenied;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut: return Cause::ServiceNotAnswering;
    case QDBusError::Disconnected: *detail = busKind(); return Cause::NoServiceBus;
    default: break;
    }
    *detail = error.message().isEmpty() ? error.name() : error.message();
    return Cause::ServiceFailed;
}

} // namespace BusCalls
