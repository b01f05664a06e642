// SPDX-License-Identifier: MIT
#pragma once

#include "SimOptions.h"

namespace sim {

// Serves the line, or the projectors on TCP, until a signal or --unplug-after ends it. The exit
// status for main().
int run(const Options &options);

} // namespace sim
