// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>

// The bus on which the programs look for projectord: the system bus, or the session bus when
// the environment has PROJECTORD_BUS=session, for a service started with "projectord
// --session".
namespace ServiceBus {
bool isSession();
// Connected on first use, which waits for the local bus daemon only; not connected when there
// is no bus.
QDBusConnection connection();
} // namespace ServiceBus
