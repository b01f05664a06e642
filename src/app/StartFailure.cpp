// SPDX-License-Identifier: MIT
#include "StartFailure.h"

QString StartFailure::report(const QString &description, const QStringList &ports)
{
    QString report = description + QStringLiteral("\n\n");
    report += ports.isEmpty() ? tr("No serial ports were found on this computer.\n")
                              : tr("Serial ports found: %1.\n").arg(ports.join(u", "));
    report += tr("Start the panel with --com1 DEVICE (and --com2 DEVICE) to use another device, "
                 "for example --com1 /dev/ttyUSB0.");
    return report;
}
