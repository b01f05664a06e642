// SPDX-License-Identifier: MIT
#pragma once

#include "FakeLink.h"
#include "Form1.h"
#include "Panel.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

// The real window over any link, placed as the program places it but not loaded. Warning boxes
// are recorded as "title|text" instead of shown, so nothing waits for a person; a box closed by
// the window itself is recorded as "dismissed".
struct WindowRig
{
    WindowRig(SerialLink &link, const TimerFactory &timers) : panel(link, timers)
    {
        form.setWarningBox(
            [this](const QString &title, const QString &text) { boxes << title + u'|' + text; },
            [this] { boxes << QStringLiteral("dismissed"); });
        form.place();
    }

    Panel panel;
    Form1 form{panel};
    QStringList boxes;

    template <typename T = QWidget> T *get(const QString &name) const
    {
        T *w = form.findChild<T *>(name);
        if (!w) qFatal("no control %s", qPrintable(name));
        return w;
    }
    void click(const QString &name, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(get(name), button, {}, QPoint(4, 4));
    }
    QString label(const QString &name) const { return get<QLabel>(name)->text(); }
    // Offscreen, but shown and exposed as on a screen.
    [[nodiscard]] bool show()
    {
        form.show();
        return QTest::qWaitForWindowExposed(&form);
    }
};

// The window on a fake link and a virtual clock, loaded as at start.
struct FakeWindowRig : VirtualLine, WindowRig
{
    FakeWindowRig() : WindowRig(link, clock.factory()) { QVERIFY(panel.load()); }
};
