// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Where projectord is found on the bus. The trailing 1 is the interface's version: members are
// only ever added to it.
namespace ServiceNames {
inline constexpr auto BusName = "io.github.projector_panel.Projectord1";
inline constexpr auto ManagerPath = "/io/github/projector_panel/Projectord1";
inline constexpr auto ManagerInterface = "io.github.projector_panel.Projectord1";
inline constexpr auto ProjectorInterface = "io.github.projector_panel.Projectord1.Projector";
inline constexpr auto ErrorPrefix = "io.github.projector_panel.Projectord1.Error.";
// A device name that reaches a projector through the service by its configured name.
inline constexpr auto DeviceScheme = "service:";

// The object path of the projector configured as `name`: every byte other than A-Z, a-z and 0-9
// of its UTF-8 is written _XX, so that any section name makes a valid path.
QString projectorPath(const QString &name);
} // namespace ServiceNames
