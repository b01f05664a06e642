// SPDX-License-Identifier: MIT
// Which connection a device name needs: the one place that knows every kind of device.
#include "DeviceLink.h"

#include "LocalConnection.h"
#include "NetAddress.h"
#include "NetConnection.h"
#include "ServiceConnection.h"
#include "ServiceNames.h"
#include "TtyConnection.h"

QString DeviceLink::defaultDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

std::unique_ptr<Connection>
DeviceLink::makeConnection(const QString &device, const TimerFactory &timers, bool throughService)
{
    if (NetAddress::handles(device)) return std::make_unique<NetConnection>(device, timers);
    if (ServiceNames::handles(device))
        return std::make_unique<ServiceConnection>(device, ServiceConnection::Lookup::ByName);
    if (throughService) return std::make_unique<LocalConnection>(device);
    return std::make_unique<TtyConnection>(device);
}
