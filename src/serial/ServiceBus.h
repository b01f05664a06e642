// SPDX-License-Identifier: MIT
#pragma once

// The bus on which the programs look for projectord: the system bus, or the session bus when
// the environment has PROJECTORD_BUS=session, for a service started with "projectord
// --session". Told without the bus library, which only the service's client loads.
namespace ServiceBus {
bool isSession();
// False when no bus can listen where the environment (or libdbus's default) says: a unix
// socket's path that is not there. Any other kind of address may listen.
bool mayListen();
} // namespace ServiceBus
