// SPDX-License-Identifier: MIT
#pragma once

#include "BusMembers.h"

#include <QString>

// Where projectord is found on the bus. The trailing 1 is the interface's version: members are
// only ever added to it. The interfaces, their members and the errors are those of the XML in
// data/dbus, in BusMembers.h, which is made from it.
namespace ServiceNames {
inline constexpr auto BusName = "io.github.projector_panel.Projectord1";
inline constexpr auto ManagerPath = "/io/github/projector_panel/Projectord1";
inline constexpr auto ManagerInterface = BusMembers::Manager::Interface;
inline constexpr auto ProjectorInterface = BusMembers::Projector::Interface;
inline constexpr auto ErrorPrefix = BusMembers::Error::Prefix;
// A device name that reaches a projector through the service by its configured name.
inline constexpr auto DeviceScheme = "service:";

// Whether a device name reaches a projector through the service ("service:hall-1"), with a name
// or not; the scheme in any case, as a device server's.
bool handles(const QString &device);
// The projector's name in such a device name: "hall-1".
QString projectorName(const QString &device);
// For a command line: what is wrong with a device name of this kind given for `port`, in the
// words a script's reader gets; empty for a good one or a name of another kind.
QString problem(const QString &device, int port);

// The object path of the projector configured as `name`: every byte other than A-Z, a-z and 0-9
// of its UTF-8 is written _XX, so that any section name makes a valid path.
QString projectorPath(const QString &name);
} // namespace ServiceNames
