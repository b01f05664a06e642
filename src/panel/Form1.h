// SPDX-License-Identifier: MIT
#pragma once

#include "Panel.h"

#include <QWidget>

// The one window. It builds its controls from the control table, forwards their events to the
// Panel and draws what the Panel changes. Every control carries its design name as object name.
class Form1 final : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Panel &panel, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up placement: centred as if at the full design size, then the normal height.
    void place();

    // Client height in pixels for an overall height in twips (5200, 6645, 7200).
    static int clientHeightFor(int overallTwips);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Private;
    Private *d;
};
