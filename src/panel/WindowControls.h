// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QPalette>
#include <QString>

class QStyle;
class QWidget;

// Making the window's controls from the control table.
namespace WindowControls {

// Pixels for a length in twips.
int px(int twips);

// Gives one role of a widget's palette a colour of the tables (0xRRGGBB).
void setRole(QWidget *w, QPalette::ColorRole role, int colour);

// The lines and controls of the window, made in the table's order as its children: each with
// its design name as object name, its geometry, font, colours, accessible texts and tool tip,
// and the style given (if any), in the design's Tab order. Returns the controls by name.
QHash<QString, QWidget *> build(QWidget &window, QStyle *style);

} // namespace WindowControls
