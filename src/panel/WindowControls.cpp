// SPDX-License-Identifier: MIT
#include "WindowControls.h"

#include "ButtonTables.h"
#include "ControlTable.h"
#include "Form1.h"
#include "PanelWidgets.h"
#include "ProjectorPicture.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace {
using WindowControls::px;
using WindowControls::setRole;

QRect pxRect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

QColor rgb(int colour)
{
    return QColor::fromRgb(QRgb(colour));
}

QFont fontFor(const FontStyle &style)
{
    const bool fixed = style.family == FontFamily::Gothic;
    QFont font(QString::fromUtf8(fixed ? GothicFamily : PGothicFamily));
    // Keeps the fallback sensible where neither the family nor a substitute is installed.
    font.setStyleHint(fixed ? QFont::Monospace : QFont::SansSerif);
    font.setPointSizeF(style.points);
    font.setBold(style.bold);
    return font;
}

// The tool tip of a button that sends a command: the code, from the tables that send it.
QString commandTip(const char *name)
{
    for (const OneShotButton &b : OneShotButtons)
        if (qstrcmp(b.name, name) == 0) return Form1::tr("Sends %1").arg(QLatin1String(b.code));
    // Said aloud too: the keyboard cannot hold a button down.
    for (const HoldButton &b : HoldButtons)
        if (qstrcmp(b.name, name) == 0)
            return Form1::tr("Sends %1 while held down with the mouse").arg(QLatin1String(b.code));
    return {};
}

QWidget *makeControl(const ControlRow &c, QWidget *parent)
{
    const QString caption = QString::fromUtf8(c.caption);
    switch (c.kind) {
    case ControlKind::Frame: {
        auto *frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken); // etched, as a group box
        return frame;
    }
    case ControlKind::Label: {
        auto *label = new QLabel(caption, parent);
        label->setTextFormat(Qt::PlainText);
        const Qt::Alignment h = c.alignment == Alignment::Centre  ? Qt::AlignHCenter
                                : c.alignment == Alignment::Right ? Qt::AlignRight
                                                                  : Qt::AlignLeft;
        label->setAlignment(h | Qt::AlignTop);
        if (c.sunken) {
            label->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
            label->setIndent(1);
        }
        setRole(label, QPalette::WindowText, c.textColour);
        return label;
    }
    case ControlKind::Button: {
        const bool held =
            std::any_of(HoldButtons.begin(), HoldButtons.end(),
                        [&](const HoldButton &b) { return qstrcmp(b.name, c.name) == 0; });
        QPushButton *button =
            held ? new HeldPushButton(caption, parent) : new WrappingPushButton(caption, parent);
        // A focused button is activated by Enter as well as by Space.
        button->setAutoDefault(true);
        if (c.face != SystemFace) setRole(button, QPalette::Button, c.face);
        return button;
    }
    case ControlKind::Option: {
        auto *option = new QRadioButton(caption, parent);
        option->setChecked(c.checkedAtStart);
        option->setBackgroundRole(QPalette::Window); // buttons fill with Button by default
        return option;
    }
    case ControlKind::Picture: {
        auto *picture = new QLabel(parent);
        picture->setPixmap(makeProjectorPicture(QSize(px(c.width), px(c.height))));
        return picture;
    }
    }
    Q_UNREACHABLE();
}
} // namespace

int WindowControls::px(int twips)
{
    return qRound(double(twips) / TwipsPerPixel);
}

void WindowControls::setRole(QWidget *w, QPalette::ColorRole role, int colour)
{
    QPalette palette = w->palette();
    palette.setColor(role, rgb(colour));
    w->setPalette(palette);
}

QHash<QString, QWidget *> WindowControls::build(QWidget &window, QStyle *style)
{
    // Lines first: they lie beneath every control.
    for (const LineRow &line : lineTable()) {
        auto *w = new LineWidget(QPoint(px(line.x1), px(line.y1)), QPoint(px(line.x2), px(line.y2)),
                                 rgb(LineColour), &window);
        w->setObjectName(QLatin1String(line.name));
    }

    QHash<QString, QWidget *> controls;
    for (const ControlRow &c : controlTable()) {
        QWidget *parent = c.parent ? controls.value(QLatin1String(c.parent)) : &window;
        Q_ASSERT(parent);
        QWidget *w = makeControl(c, parent);
        w->setObjectName(QLatin1String(c.name));
        w->setGeometry(pxRect(c.left, c.top, c.width, c.height));
        if (style) w->setStyle(style);
        if (c.font.family != FontFamily::None) w->setFont(fontFor(c.font));
        if (c.kind != ControlKind::Button && c.face != SystemFace) {
            setRole(w, QPalette::Window, c.face);
            w->setAutoFillBackground(true);
        }
        if (c.hiddenAtStart) w->hide();
        controls.insert(w->objectName(), w);
    }
    for (const AccessibleRow &a : accessibleTable()) {
        QWidget *w = controls.value(QLatin1String(a.control));
        Q_ASSERT(w);
        if (a.name) w->setAccessibleName(Form1::tr(a.name));
        if (a.description) w->setAccessibleDescription(Form1::tr(a.description));
        const QString tip = a.toolTip ? Form1::tr(a.toolTip) : commandTip(a.control);
        if (!tip.isEmpty()) w->setToolTip(tip);
    }

    // The settings panel covers the COM button while it is shown.
    controls.value(QStringLiteral("Frame8"))->raise();

    const auto order = tabOrder();
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(controls.value(QLatin1String(order[i - 1])),
                             controls.value(QLatin1String(order[i])));
    return controls;
}
