// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Which device port 1 and port 2 stand for, kept between runs in the user's settings of the
// application (~/.config/projector-panel/projector-panel.conf on Linux). A device given on
// the command line wins for that run and is not kept; without either, the platform's.
class DeviceMemory
{
public:
    // Empty when nothing was kept for the port.
    QString remembered(int port) const;
    void remember(int port, const QString &device);

    // fromCommandLine is empty when the option was not given.
    QString deviceFor(int port, const QString &fromCommandLine = {}) const;
};
