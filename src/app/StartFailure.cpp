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

QString StartFailure::noScreen()
{
    return tr("Serial port 1 opened, but there is no screen to show the window on (neither "
              "DISPLAY nor WAYLAND_DISPLAY is set).");
}

bool StartFailure::screenExpected()
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}
