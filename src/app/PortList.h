// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

#include <functional>

// A serial port found on this computer, as offered to the operator.
struct FoundPort
{
    QString device;   // what to open: its /dev/serial/by-id name where it has one
    QString location; // the kernel's name, /dev/ttyUSB0
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// Lists the ports found now. Injected, so that tests never enumerate real devices: listing the
// real ones opens every /dev/ttyS*.
using PortLister = std::function<QList<FoundPort>()>;

namespace PortList {
// The ports Qt Serial Port finds, with their by-id names; PROJECTOR_PANEL_PORT_LIST replaces
// them in tests and for screenshots (see PortList.cpp).
QList<FoundPort> system();

// Offers each port by the by-id link that leads to it, if any: that name stays the same when
// an adapter is plugged into another socket, where ttyUSB0 may become ttyUSB1.
QList<FoundPort> withStableNames(QList<FoundPort> ports,
                                 const QString &byIdFolder = QStringLiteral("/dev/serial/by-id"));
} // namespace PortList
