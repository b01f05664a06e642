// SPDX-License-Identifier: MIT
#include "ProjectorPicture.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <iterator>

QPixmap makeProjectorPicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(0x1C, 0x2A, 0x5A));
    sky.setColorAt(1, QColor(0x3A, 0x5C, 0x9E));
    p.fillRect(image.rect(), sky);

    const QRectF screen(w * 0.74, h * 0.12, w * 0.22, h * 0.76);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
    p.setBrush(QColor(0xF4, 0xF4, 0xEE));
    p.drawRect(screen);
    // Colour bars on the screen, as a test picture would show.
    const QColor bars[] = {QColor(0xE0, 0x40, 0x40), QColor(0x40, 0xB0, 0x40),
                           QColor(0x40, 0x60, 0xE0), QColor(0xE0, 0xC0, 0x30)};
    const qreal barWidth = (screen.width() - 4) / std::size(bars);
    for (std::size_t i = 0; i < std::size(bars); ++i)
        p.fillRect(QRectF(screen.left() + 2 + i * barWidth, screen.top() + h * 0.2, barWidth,
                          screen.height() - h * 0.4),
                   bars[i]);

    const QPointF lens(w * 0.36, h * 0.5);
    QPainterPath beam;
    beam.moveTo(lens + QPointF(0, -2));
    beam.lineTo(screen.topLeft() + QPointF(0, 1));
    beam.lineTo(screen.bottomLeft() - QPointF(0, 1));
    beam.lineTo(lens + QPointF(0, 2));
    beam.closeSubpath();
    QLinearGradient light(lens, QPointF(screen.left(), lens.y()));
    light.setColorAt(0, QColor(0xFF, 0xF6, 0xB0, 230));
    light.setColorAt(1, QColor(0xFF, 0xF6, 0xB0, 60));
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawPath(beam);

    const QRectF body(w * 0.05, h * 0.3, w * 0.28, h * 0.46);
    QLinearGradient metal(body.topLeft(), body.bottomLeft());
    metal.setColorAt(0, QColor(0xE8, 0xE8, 0xEC));
    metal.setColorAt(1, QColor(0x80, 0x84, 0x90));
    p.setPen(QPen(QColor(0x30, 0x30, 0x38), 1));
    p.setBrush(metal);
    p.drawRoundedRect(body, 2, 2);
    p.setBrush(QColor(0x30, 0x30, 0x38));
    p.drawRect(QRectF(body.left() + 3, body.bottom(), 2, 2));
    p.drawRect(QRectF(body.right() - 5, body.bottom(), 2, 2));
    p.setBrush(QColor(0x50, 0xD0, 0x60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(body.left() + 4, body.top() + 3), 1.2, 1.2);

    QRadialGradient glass(lens, h * 0.2, lens - QPointF(1, 1));
    glass.setColorAt(0, QColor(0xC8, 0xE8, 0xFF));
    glass.setColorAt(1, QColor(0x10, 0x20, 0x40));
    p.setPen(QPen(QColor(0x20, 0x20, 0x28), 1));
    p.setBrush(glass);
    p.drawEllipse(lens, h * 0.2, h * 0.2);
    p.end();
    return QPixmap::fromImage(image);
}
