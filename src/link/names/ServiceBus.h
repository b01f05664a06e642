// SPDX-License-Identifier: MIT
#pragma once

// The bus on which the programs look for projectord: the system bus, or the session bus when
// the environment has PROJECTORD_BUS=session, for a service started with "projectord
// --session". Told without the bus library, which only the service's client loads.
#include <QString>

namespace ServiceBus {
bool isSession();
// False when no bus can listen where the environment (or libdbus's default) says: a unix
// socket's path that is not there. Any other kind of address may listen.
bool mayListen();
// The directory that a running projectord has, on the system bus or the session bus:
// /run/projectord, which systemd makes and removes (RuntimeDirectory=), or
// $XDG_RUNTIME_DIR/projectord; PROJECTORD_RUNTIME_DIR names another. Empty when it cannot be
// told.
QString runDirectory(bool session);
// False when projectord is surely not running on the bus the programs look at: its directory
// is not there. A program given a local device then opens it without asking the service, and
// without loading the bus library.
bool serviceMayRun();
} // namespace ServiceBus
