// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <functional>

// SIGINT, SIGTERM and SIGHUP (a logout, a shutdown, a closed terminal, Ctrl-C), brought to the
// event loop, where a program ends as it ends by itself: it closes its port, which gives the
// line back with the settings it had and removes the port's lock file (projectord keeps running
// on SIGHUP). A handler may do next to nothing, so it only writes the signal's number to a pipe
// that the event loop reads.
namespace EndOnSignals {
// From now on, `end` is called with the signal's number from the event loop, for each of them
// that comes. Once per program; false when the pipe cannot be made.
bool install(QObject *context, std::function<void(int)> end);
} // namespace EndOnSignals
