// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>

class QLabel;

// A one-line display clips what does not fit. Handing it only as much as it could show keeps
// a long reply from being shaped again on every character, and once the display is full,
// more characters leave its text alone, so nothing is repainted.
class OneLineDisplay
{
public:
    void setLabel(QLabel *label) { m_label = label; }
    void show(const QString &text);

private:
    QLabel *m_label = nullptr;
    QFont m_font;     // what the bound was worked out for
    int m_width = -1; // likewise, the label's outer width
    qsizetype m_shown = 0;
};
