// SPDX-License-Identifier: MIT
// The window at one scale factor, chosen before the application starts (CTest runs this once
// per scale): the layout keeps its proportions and no caption is cut off.
#include "ControlTable.h"
#include "StatusTables.h"
#include "WindowRig.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QtMath>

#include <memory>

namespace {

qreal expectedScale()
{
    bool ok = false;
    const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? scale : 1.0;
}

// Hinting differs between the logical and the device pixel grid, so a caption is measured on
// both and the wider count taken.
qreal textWidth(const QFont &font, const QString &text, qreal scale)
{
    const qreal logical = QFontMetricsF(font).horizontalAdvance(text);
    QFont device = font;
    device.setPointSizeF(font.pointSizeF() * scale);
    return qMax(logical, QFontMetricsF(device).horizontalAdvance(text) / scale);
}

// The room a caption has inside its control, in logical pixels.
QRect roomFor(QWidget *w, const QString &text)
{
    if (auto *label = qobject_cast<QLabel *>(w)) {
        const int m = label->margin();
        QRect room = label->contentsRect().adjusted(m, m, -m, -m);
        // QLabel's own default: half an "x" of indent once it has a frame.
        int indent = label->indent();
        if (indent < 0)
            indent = label->frameWidth() > 0
                         ? label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2
                         : 0;
        if (label->alignment() & (Qt::AlignLeft | Qt::AlignRight))
            room.setWidth(room.width() - indent);
        return room;
    }
    QStyleOptionButton option;
    option.initFrom(w);
    option.text = text;
    if (auto *button = qobject_cast<QPushButton *>(w)) {
        if (button->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
        return w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w);
    }
    return w->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, w);
}

// The device pixels a caption paints: the button grabbed with and without it.
QRect inkOf(QAbstractButton *button, const QString &text)
{
    button->setText(QString());
    const QImage blank = button->grab().toImage();
    button->setText(text);
    const QImage drawn = button->grab().toImage();
    QRect ink;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (drawn.pixel(x, y) != blank.pixel(x, y)) ink |= QRect(x, y, 1, 1);
    return ink;
}

} // namespace

class TestHighDpi : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // As the program does, so the fonts measured are the fonts shown.
    void initTestCase() { Form1::prepareApplication(); }
    void scaleIsApplied();
    void captionsFit_data();
    void captionsFit();
};

// Without this every other check here would silently run at scale 1. The layout is in logical
// pixels, so at any scale the window and each control keep their place in the design.
void TestHighDpi::scaleIsApplied()
{
    FakeWindowRig rig;
    QCOMPARE(rig.form.size(), QSize(633, 322));
    QCOMPARE(rig.get("Command3")->geometry(), QRect(544, 240, 73, 33));
    QCOMPARE(rig.form.devicePixelRatioF(), expectedScale());
    const QPixmap shot = rig.form.grab();
    QCOMPARE(shot.devicePixelRatio(), expectedScale());
    QVERIFY(qAbs(shot.width() - rig.form.width() * expectedScale()) <= 1);
    QVERIFY(qAbs(shot.height() - rig.form.height() * expectedScale()) <= 1);
}

void TestHighDpi::captionsFit_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");

    for (const ControlRow &c : controlTable()) {
        if (!*c.caption) continue;
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(c.name, QString::fromUtf8(c.caption))))
            << QString(c.name) << QString::fromUtf8(c.caption);
    }
    // The toggle's other captions.
    QTest::newRow("Command34 hide") << "Command34" << HideDataCaption;
    QTest::newRow("Command34 close") << "Command34" << QStringLiteral("CLOSE");
    // The status display's longest answers, from the tables that make them.
    const struct
    {
        const char *tag, *command, *reply;
    } statuses[] = {
        {"power", "CR0\r", "88\r"},
        {"input", "CR1\r", "2\r"},
        {"lamp", "CR3\r", "99999\r"},
        {"orientation", "CR4\r", "00\r"},
    };
    for (const auto &s : statuses) {
        const auto text =
            interpretStatus(QString::fromLatin1(s.command), QString::fromLatin1(s.reply));
        if (!text) qFatal("no status text for %s", s.tag);
        QTest::newRow(qPrintable(QStringLiteral("Label25 %1").arg(s.tag))) << "Label25" << *text;
    }
}

void TestHighDpi::captionsFit()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    FakeWindowRig rig;
    QWidget *w = rig.get(control);
    if (auto *label = qobject_cast<QLabel *>(w)) label->setText(text);
    if (auto *b = qobject_cast<QAbstractButton *>(w)) b->setText(text);

    const qreal scale = expectedScale();
    const QRect room = roomFor(w, text);
    const qreal width = textWidth(w->font(), text, scale);
    const QString detail = QStringLiteral("\"%1\" is %2 px wide in %3 px at scale %4")
                               .arg(text)
                               .arg(width, 0, 'f', 1)
                               .arg(room.width())
                               .arg(scale);
    // Only buttons wrap a caption that is too wide for one line.
    auto *button = qobject_cast<QAbstractButton *>(w);
    const bool oneLine = width <= room.width();
    QVERIFY2(oneLine || qobject_cast<QPushButton *>(w), qPrintable(detail));
    // One line is drawn clipped to the room, so its glyphs must fit in its height too.
    if (oneLine)
        QVERIFY2(
            QFontMetricsF(w->font()).tightBoundingRect(text).height() <= room.height(),
            qPrintable(QStringLiteral("\"%1\" is taller than %2 px").arg(text).arg(room.height())));
    if (!button) return;

    // What is drawn, wrapped or not: no pixel of the caption on the frame or its bevel, the
    // outer two pixels. Wrapped captions are drawn unclipped, so one too big shows up here.
    const QRect ink = inkOf(button, text);
    QVERIFY2(!ink.isEmpty(), "nothing drawn");
    const int frame = qCeil(2 * scale);
    const QRect inside =
        QRect(QPoint(0, 0), w->size() * scale).adjusted(frame, frame, -frame, -frame);
    QVERIFY2(inside.contains(ink),
             qPrintable(QStringLiteral("%1; drawn at %2,%3 %4x%5 in a %6x%7 button")
                            .arg(detail)
                            .arg(ink.x())
                            .arg(ink.y())
                            .arg(ink.width())
                            .arg(ink.height())
                            .arg(inside.width() + 2 * frame)
                            .arg(inside.height() + 2 * frame)));
}

QTEST_MAIN(TestHighDpi)
#include "tst_highdpi.moc"
