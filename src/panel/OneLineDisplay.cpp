// SPDX-License-Identifier: MIT
#include "OneLineDisplay.h"

#include <QFontMetricsF>
#include <QLabel>

#include <algorithm>
#include <cmath>

void OneLineDisplay::show(const QString &text)
{
    // This runs for every character received; the bound is worked out again only when the
    // label's size or font has changed.
    if (m_label->width() != m_width || m_label->font() != m_font) {
        m_width = m_label->width();
        m_font = m_label->font();
        const int width = m_label->contentsRect().width();
        // Displays show traces, the no-reply mark and status words: printable ASCII only.
        const QFontMetricsF metrics(m_font);
        qreal narrowest = metrics.horizontalAdvance(QLatin1Char(' '));
        for (char c = '!'; c <= '~'; ++c)
            narrowest = std::min(narrowest, metrics.horizontalAdvance(QLatin1Char(c)));
        // One character more for a glyph whose ink reaches back past its origin.
        m_shown = qsizetype(std::ceil((width + std::abs(metrics.minLeftBearing())) /
                                      std::max<qreal>(narrowest, 1))) +
                  1;
    }
    const QStringView shown = QStringView(text).left(m_shown);
    if (shown != m_label->text()) m_label->setText(shown.toString());
}
