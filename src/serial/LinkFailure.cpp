// SPDX-License-Identifier: MIT
#include "LinkFailure.h"

QString LinkFailure::text() const
{
    // "port 1 (/dev/ttyUSB0)", or "port 1" when there is no device to name.
    const QString label = device.isEmpty() ? tr("serial port %1").arg(port)
                                           : tr("serial port %1 (%2)").arg(port).arg(device);
    switch (cause) {
    case Cause::None: return {};
    case Cause::NoSuchPort:
        return tr("There is no serial port %1; the panel knows ports 1 and 2.").arg(port);
    case Cause::StillOpen: return tr("The port number cannot change while %1 is open.").arg(label);
    case Cause::Gone:
        return tr("The device of %1 has gone away (%2). The panel opens the port again by itself "
                  "when the device returns.")
            .arg(label, detail);
    case Cause::NotOpen:
        return tr("Cannot send to %1: the port is not open. Choose a port with the COM button.")
            .arg(label);
    default: break;
    }
    if (action == Action::Send) return tr("Cannot send to %1: %2").arg(label, detail);
    switch (cause) {
    case Cause::NoDevice: return tr("Cannot open serial port %1: no device was given.").arg(port);
    case Cause::Missing: return tr("Cannot open %1: the device does not exist.").arg(label);
    case Cause::InUse:
        return tr("Cannot open %1: the port is in use by another program.").arg(label);
    case Cause::NoPermission:
        return tr("Cannot open %1: no permission to use %2. Add your user to the \"dialout\" group "
                  "and log in again.")
            .arg(label, device);
    case Cause::NotSerialPort:
        return tr("Cannot open %1: %2 is not a serial port.").arg(label, device);
    case Cause::Refused: return tr("Cannot connect %1: connection refused.").arg(label);
    case Cause::HostNotFound: return tr("Cannot connect %1: host not found.").arg(label);
    case Cause::TimedOut: return tr("Cannot connect %1: timed out.").arg(label);
    default: return tr("Cannot open %1: %2").arg(label, detail);
    }
}
