// SPDX-License-Identifier: MIT
#pragma once

#include "Panel.h"

#include <QWidget>

#include <functional>

// The one window. It builds its controls from the control table, forwards their events to the
// Panel and draws what the Panel changes. Every control carries its design name as object name.
class Form1 final : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Panel &panel, QWidget *parent = nullptr);
    ~Form1() override;

    // What the program sets for the whole application before the window exists: the style that
    // paints coloured buttons, and substitutes for the design's Gothic fonts.
    static void prepareApplication();

    // Start-up placement: centred as if at the full design size, then the normal height.
    void place();

    // Client height in pixels for an overall height in twips (5200, 6645, 7200).
    static int clientHeightFor(int overallTwips);

    // Shows a modal warning (title, text) and returns once it is closed. Tests record the
    // message here instead of blocking on a real box. Dismissing closes the box now shown, for
    // a warning that has stopped being true (a lost device that came back).
    using WarningBox = std::function<void(const QString &title, const QString &text)>;
    using DismissBox = std::function<void()>;
    void setWarningBox(WarningBox box, DismissBox dismiss = {});
    // A warning from outside the window's own parts, shown like theirs.
    void warn(const QString &text) { warnLater(text); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Private;
    Private *d;

    void wire();
    void syncPorts();
    void syncLayout();
    void syncTitle();
    void onLost(const LinkFailure &failure);
    void warnNow(const QString &text, bool loss = false);
    void warnLater(const QString &text, bool loss = false);
};
