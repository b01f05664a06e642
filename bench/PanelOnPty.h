// SPDX-License-Identifier: MIT
#pragma once

#include "Form1.h"
#include "Panel.h"
#include "DeviceLink.h"

#include <QTest>

namespace bench {

// The real window on the real serial link over a pseudo-terminal, started as the program
// starts it and shown (offscreen).
struct PanelOnPty
{
    explicit PanelOnPty(const QString &device)
        : link(device, device), panel(link, PreciseTimer::factory()), form(panel)
    {
        form.place();
        if (!panel.load()) qFatal("cannot open %s", qPrintable(device));
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) qFatal("window not exposed");
    }

    DeviceLink link;
    Panel panel;
    Form1 form;
};

} // namespace bench
