// SPDX-License-Identifier: MIT
#pragma once

#include <csignal>

#include <sys/prctl.h>

// For QProcess::setChildProcessModifier: a test killed at its time limit takes the programs it
// started (a simulator, a device server) with it instead of leaving them running.
inline void dieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}
