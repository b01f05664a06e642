// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// The lock files that programs on Qt's serial port leave in the lock directory, as seen by root
// before the service starts. A program killed outright leaves its lock behind, and the service's
// user cannot remove another user's file from that sticky directory: this does it for the
// configured devices, once their owner is gone.
namespace StaleLocks {

// The names a device's lock file may have: "LCK.." and its path as given and as resolved, each
// without "/dev/" and with "/" made "_", as Qt's serial port names them.
QStringList lockNames(const QString &device);

// Removes, from `directory`, the lock files of `devices` whose process no longer runs. Leaves
// anything that is not a plain file, a lock of a running process and a lock whose process it
// cannot tell. Returns one line for each file removed.
QStringList clear(const QStringList &devices, const QString &directory);

} // namespace StaleLocks
