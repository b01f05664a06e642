// SPDX-License-Identifier: MIT
#pragma once

#include "SimOptions.h"

namespace sim {

// Serves options.listen's projectors until a signal or --unplug-after ends it; the log of
// received lines goes to logFd. The exit status for main().
int runFleet(const Options &options, int logFd);

} // namespace sim
