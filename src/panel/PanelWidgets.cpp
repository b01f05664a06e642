// SPDX-License-Identifier: MIT
#include "PanelWidgets.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

void WrappingPushButton::paintEvent(QPaintEvent *e)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (fontMetrics().horizontalAdvance(text()) <= room.width()) return QPushButton::paintEvent(e);
    // Wrapped lines may use the whole height inside the frame and its bevel. Where even that
    // is too little (two lines of the toggle's Japanese captions are taller than the button
    // with the substitute font), the caption is drawn a little smaller rather than over the
    // frame.
    const QRect area(room.left(), 2, room.width(), height() - 4);
    constexpr int flags = Qt::AlignCenter | Qt::TextWordWrap;
    QFont smaller = font();
    while (smaller.pointSizeF() > MinimumWrappedPoints) {
        const QRectF needed = QFontMetricsF(smaller).boundingRect(QRectF(area), flags, text());
        if (needed.width() <= area.width() && needed.height() <= area.height()) break;
        smaller.setPointSizeF(smaller.pointSizeF() - 0.25);
    }
    option.text.clear();
    QStylePainter p(this);
    p.drawControl(QStyle::CE_PushButton, option);
    p.setFont(smaller);
    // Not clipped: a caption that still overflows is better read across the frame than cut.
    p.drawItemText(area, flags | Qt::TextDontClip, palette(), isEnabled(), text(),
                   QPalette::ButtonText);
}

void HeldPushButton::abandon()
{
    if (!isDown()) return;
    setDown(false);
    Q_EMIT holdReleased();
}

// The second press of a double click arrives as a double-click event only; QWidget's default
// handling passes it here, so it presses like any other.
void HeldPushButton::mousePressEvent(QMouseEvent *e)
{
    e->accept();
    setDown(true);
    Q_EMIT holdPressed();
}

void HeldPushButton::mouseReleaseEvent(QMouseEvent *e)
{
    e->accept();
    if (e->buttons() == Qt::NoButton) setDown(false);
    Q_EMIT holdReleased();
}

void HeldPushButton::mouseMoveEvent(QMouseEvent *e)
{
    e->accept();
}

LineWidget::LineWidget(QPoint from, QPoint to, QColor colour, QWidget *parent)
    : QWidget(parent), m_colour(colour)
{
    const QRect box = QRect(from, to).normalized();
    setGeometry(box); // both end points included
    m_from = from - box.topLeft();
    m_to = to - box.topLeft();
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(QPen(m_colour, 1));
    p.drawLine(m_from, m_to);
}
