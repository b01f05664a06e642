// SPDX-License-Identifier: MIT
#pragma once

#include "ProjectorModel.h"

#include <string>
#include <string_view>

namespace sim {

// What every way of serving the line shares: the clock, the signals that end a run, and
// writes that a reader gone away cannot stop.

SimTime monotonicNow();
void writeAll(int fd, std::string_view s);
// "projector-sim: <message>" on stderr.
void complain(const std::string &message);

// SIGINT, SIGTERM and SIGHUP make signalFd() readable; SIGPIPE is ignored.
bool installSignalHandlers(std::string &error);
int signalFd();

} // namespace sim
