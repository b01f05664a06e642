// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// What the panel says when port 1 cannot be opened at start: the cause, the serial ports that
// exist, and how to point the panel elsewhere.
class StartFailure
{
    Q_DECLARE_TR_FUNCTIONS(StartFailure)

public:
    // ports: one entry a port, such as "/dev/ttyUSB0 (USB serial adapter)"; empty if none.
    static QString report(const QString &description, const QStringList &ports);
    // Port 1 opened, but there is no screen to show the window on.
    static QString noScreen();
    // Whether a window can be had: a platform named, or a display to reach. Asked before the
    // window's application object is made, which aborts without one.
    static bool screenExpected();
};
