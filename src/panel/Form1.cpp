// SPDX-License-Identifier: MIT
#include "Form1.h"

#include "ControlTable.h"
#include "KeyMap.h"
#include "PanelWidgets.h"
#include "ProjectorPicture.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QFrame>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <utility>

namespace {
int px(int twips)
{
    return qRound(double(twips) / TwipsPerPixel);
}

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

void setRole(QWidget *w, QPalette::ColorRole role, int colour)
{
    QPalette palette = w->palette();
    palette.setColor(role, rgb(colour));
    w->setPalette(palette);
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

// An exclusive option cannot be unchecked directly; before the first port switch none is.
void setOptionChecked(QRadioButton *option, bool checked)
{
    if (!checked && option->isChecked()) {
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(true);
    } else {
        option->setChecked(checked);
    }
}
} // namespace

struct Form1::Private
{
    explicit Private(Panel &p) : panel(p) {}

    Panel &panel;
    // Coloured buttons need a style that paints QPalette::Button; the platform's may not.
    // The program sets Fusion for the whole application; a style per control, only where
    // it has not, costs a polish of every control at start.
    std::unique_ptr<QStyle> style{qApp->style()->name() == QLatin1String("fusion")
                                      ? nullptr
                                      : QStyleFactory::create(QStringLiteral("Fusion"))};
    QHash<QString, QWidget *> controls;
    WarningBox warningBox;
    DismissBox dismissBox;
    bool boxOpen = false;
    bool boxQueued = false;
    QString queuedText;
    // The box open or queued tells of a lost device; one loss gets one box.
    bool lossBoxOpen = false;
    bool lossBoxQueued = false;
    bool lossReported = false;
    const QEvent *lastKey = nullptr;
    QPointer<QWidget> lastKeyReceiver;

    // A one-line display clips what does not fit. Handing it only as much as it could show keeps
    // a long reply from being shaped again on every character, and once the display is full,
    // more characters leave its text alone, so nothing is repainted.
    struct DisplayBound
    {
        QLabel *label = nullptr;
        QFont font;     // what the bound was worked out for
        int width = -1; // likewise, the label's outer width
        qsizetype shown = 0;
    };
    std::array<DisplayBound, 3> displays;

    void show(Exchange::Display which, const QString &text)
    {
        DisplayBound &display = displays[std::size_t(which)];
        QLabel *label = display.label;
        // This runs for every character received; the bound is worked out again only when the
        // label's size or font has changed.
        if (label->width() != display.width || label->font() != display.font) {
            display.width = label->width();
            display.font = label->font();
            const int width = label->contentsRect().width();
            // Displays show traces, the no-reply mark and status words: printable ASCII only.
            const QFontMetricsF metrics(display.font);
            qreal narrowest = metrics.horizontalAdvance(QLatin1Char(' '));
            for (char c = '!'; c <= '~'; ++c)
                narrowest = std::min(narrowest, metrics.horizontalAdvance(QLatin1Char(c)));
            // One character more for a glyph whose ink reaches back past its origin.
            display.shown = qsizetype(std::ceil((width + std::abs(metrics.minLeftBearing())) /
                                                std::max<qreal>(narrowest, 1))) +
                            1;
        }
        const QStringView shown = QStringView(text).left(display.shown);
        if (shown != label->text()) label->setText(shown.toString());
    }

    template <typename T> T *control(const char *name) const
    {
        return static_cast<T *>(controls.value(QLatin1String(name)));
    }
};

Form1::Form1(Panel &panel, QWidget *parent) : QWidget(parent), d(new Private(panel))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(WindowCaption));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setRole(this, QPalette::Window, WindowBackground);
    setAutoFillBackground(true);

    auto shown = std::make_shared<QPointer<QMessageBox>>();
    d->warningBox = [this, shown](const QString &title, const QString &text) {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
        *shown = &box;
        box.exec();
    };
    d->dismissBox = [shown] {
        if (*shown) (*shown)->done(QMessageBox::Ok);
    };

    build();
    wire();
    syncPorts();
    syncLayout();
    d->control<QWidget>(tabOrder()[0])->setFocus();

    // Key preview: every key press passes through here before the focused control sees it.
    qApp->installEventFilter(this);
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
    // The controls use the style that Private owns, so they go first.
    qDeleteAll(findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
    delete d;
}

void Form1::build()
{
    // Lines first: they lie beneath every control.
    for (const LineRow &line : lineTable()) {
        auto *w = new LineWidget(QPoint(px(line.x1), px(line.y1)), QPoint(px(line.x2), px(line.y2)),
                                 rgb(LineColour), this);
        w->setObjectName(QLatin1String(line.name));
    }

    for (const ControlRow &c : controlTable()) {
        QWidget *parent = c.parent ? d->controls.value(QLatin1String(c.parent)) : this;
        Q_ASSERT(parent);
        const QString caption = QString::fromUtf8(c.caption);
        QWidget *w = nullptr;
        switch (c.kind) {
        case ControlKind::Frame: {
            auto *frame = new QFrame(parent);
            frame->setFrameStyle(QFrame::Box | QFrame::Sunken); // etched, as a group box
            w = frame;
            break;
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
            w = label;
            break;
        }
        case ControlKind::Button: {
            const bool held =
                std::any_of(HoldButtons.begin(), HoldButtons.end(),
                            [&](const HoldButton &b) { return qstrcmp(b.name, c.name) == 0; });
            QPushButton *button = held ? new HeldPushButton(caption, parent)
                                       : new WrappingPushButton(caption, parent);
            // A focused button is activated by Enter as well as by Space.
            button->setAutoDefault(true);
            if (c.face != SystemFace) setRole(button, QPalette::Button, c.face);
            w = button;
            break;
        }
        case ControlKind::Option: {
            auto *option = new QRadioButton(caption, parent);
            option->setChecked(c.checkedAtStart);
            option->setBackgroundRole(QPalette::Window); // buttons fill with Button by default
            w = option;
            break;
        }
        case ControlKind::Picture: {
            auto *picture = new QLabel(parent);
            picture->setPixmap(makeProjectorPicture(QSize(px(c.width), px(c.height))));
            w = picture;
            break;
        }
        }
        w->setObjectName(QLatin1String(c.name));
        w->setGeometry(pxRect(c.left, c.top, c.width, c.height));
        if (d->style) w->setStyle(d->style.get());
        if (c.font.family != FontFamily::None) w->setFont(fontFor(c.font));
        if (c.kind != ControlKind::Button && c.face != SystemFace) {
            setRole(w, QPalette::Window, c.face);
            w->setAutoFillBackground(true);
        }
        if (c.hiddenAtStart) w->hide();
        d->controls.insert(w->objectName(), w);
    }
    for (const AccessibleRow &a : accessibleTable()) {
        QWidget *w = d->control<QWidget>(a.control);
        Q_ASSERT(w);
        if (a.name) w->setAccessibleName(tr(a.name));
        if (a.description) w->setAccessibleDescription(tr(a.description));
        const QString tip = a.toolTip ? tr(a.toolTip) : commandTip(a.control);
        if (!tip.isEmpty()) w->setToolTip(tip);
    }

    // The settings panel covers the COM button while it is shown.
    d->control<QWidget>("Frame8")->raise();

    const auto order = tabOrder();
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(d->control<QWidget>(order[i - 1]), d->control<QWidget>(order[i]));
}

void Form1::wire()
{
    Panel &panel = d->panel;
    for (const OneShotButton &row : OneShotButtons)
        connect(d->control<QPushButton>(row.name), &QPushButton::clicked, this,
                [&panel, &row] { panel.click(row); });
    // Only the mouse drives a held button: its keyboard activation sends nothing.
    for (const HoldButton &row : HoldButtons) {
        auto *button = d->control<HeldPushButton>(row.name);
        connect(button, &HeldPushButton::holdPressed, this, [&panel, &row] { panel.press(row); });
        connect(button, &HeldPushButton::holdReleased, this,
                [&panel, &row] { panel.release(row); });
    }
    for (const ActionButton &row : ActionButtons)
        connect(d->control<QPushButton>(row.name), &QPushButton::clicked, this,
                [&panel, &row] { panel.activate(QLatin1StringView(row.name)); });
    for (const OptionChoice &row : OptionChoices)
        connect(d->control<QRadioButton>(row.name), &QRadioButton::clicked, this,
                [&panel, &row] { panel.activate(QLatin1StringView(row.name)); });

    d->displays[std::size_t(Exchange::Display::Txd)].label = d->control<QLabel>("Label11");
    d->displays[std::size_t(Exchange::Display::Rxd)].label = d->control<QLabel>("Label12");
    d->displays[std::size_t(Exchange::Display::Status)].label = d->control<QLabel>("Label25");
    // No accessible name of its own: a label without one is named by its text and announces
    // every change, while setting one as well would announce each twice.
    connect(&panel.exchange(), &Exchange::displayChanged, this,
            [this](Exchange::Display which, const QString &text) { d->show(which, text); });
    connect(&panel.ports(), &PortControl::settingsChanged, this, &Form1::syncPorts);
    // A failed switch ends a wait for a lost device without closing an open port.
    connect(&panel.ports(), &PortControl::settingsChanged, this, &Form1::syncTitle);
    connect(&panel, &Panel::layoutChanged, this, &Form1::syncLayout);
    connect(&panel.ports(), &PortControl::warning, this,
            [this](const LinkFailure &failure) { warnNow(failure.text()); });
    connect(&panel.exchange(), &Exchange::sendFailed, this,
            [this](const LinkFailure &failure) { warnLater(failure.text()); });
    connect(&panel.link(), &SerialLink::lost, this, &Form1::onLost);
    connect(&panel.link(), &SerialLink::restored, this, &Form1::syncTitle);
    connect(&panel.link(), &SerialLink::closed, this, &Form1::syncTitle);
    connect(&panel.link(), &SerialLink::opened, this, &Form1::syncTitle);
    connect(&panel.ports(), &PortControl::quitRequested, this, [this] {
        close();
        QCoreApplication::quit();
    });
}

// While the open port's device is away, the title says so; the caption alone otherwise. The
// box about the loss goes with the wait, whether the device came back or the operator chose.
void Form1::syncTitle()
{
    const SerialLink &link = d->panel.link();
    QString title = QString::fromUtf8(WindowCaption);
    if (link.isWaitingForDevice())
        title += tr(" - port %1 (%2) lost").arg(link.portNumber()).arg(link.deviceName());
    setWindowTitle(title);
    if (link.isWaitingForDevice()) return;
    d->lossReported = false;
    if (d->lossBoxQueued) d->boxQueued = d->lossBoxQueued = false;
    if (d->lossBoxOpen && d->dismissBox) d->dismissBox();
}

void Form1::onLost(const LinkFailure &failure)
{
    syncTitle();
    if (std::exchange(d->lossReported, true)) return;
    warnLater(failure.text(), true);
}

void Form1::syncPorts()
{
    const PortControl &ports = d->panel.ports();
    d->control<QWidget>("Frame8")->setVisible(ports.settingsVisible());
    for (const OptionChoice &choice : OptionChoices) {
        auto *option = d->control<QRadioButton>(choice.name);
        if (choice.port)
            setOptionChecked(option, ports.selectedPort() == choice.port);
        else if (!ports.commSettings().isEmpty())
            setOptionChecked(option, ports.commSettings() == QLatin1String(choice.settings));
    }
}

void Form1::syncLayout()
{
    setFixedSize(px(ClientWidthTwips), clientHeightFor(d->panel.height()));
    auto *toggle = d->control<QPushButton>("Command34");
    toggle->setText(d->panel.command34Caption());
    toggle->setVisible(d->panel.command34Visible());
}

void Form1::prepareApplication()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont::insertSubstitution(QString::fromUtf8(GothicFamily), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QString::fromUtf8(PGothicFamily), QStringLiteral("IPAPGothic"));
}

int Form1::clientHeightFor(int overallTwips)
{
    return px(overallTwips - FrameHeightTwips);
}

void Form1::place()
{
    const QRect screen = this->screen() ? this->screen()->geometry() : QRect();
    const double left = (screen.width() - double(DesignWidthTwips) / TwipsPerPixel) / 2;
    const double top = (screen.height() - double(DesignHeightTwips) / TwipsPerPixel) / 2;
    move(screen.topLeft() + QPoint(qRound(left), qRound(top)));
    syncLayout();
}

void Form1::setWarningBox(WarningBox box, DismissBox dismiss)
{
    d->warningBox = std::move(box);
    d->dismissBox = std::move(dismiss);
}

void Form1::warnNow(const QString &text, bool loss)
{
    d->boxOpen = true;
    d->lossBoxOpen = loss;
    d->warningBox(QString::fromUtf8(WindowCaption), text);
    d->boxOpen = d->lossBoxOpen = false;
}

// Failures found inside a mouse or serial event are shown once that event is over, and at most
// one box at a time: a device that vanishes mid-hold must not pile up boxes.
void Form1::warnLater(const QString &text, bool loss)
{
    if (d->boxOpen || d->boxQueued) return;
    d->boxQueued = true;
    d->lossBoxQueued = loss;
    d->queuedText = text;
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Withdrawn meanwhile, or already shown by an earlier call.
            if (!d->boxQueued) return;
            const bool loss = std::exchange(d->lossBoxQueued, false);
            d->boxQueued = false;
            if (!d->boxOpen) warnNow(d->queuedText, loss);
        },
        Qt::QueuedConnection);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::WindowBlocked && watched == this) {
        for (const HoldButton &row : HoldButtons) d->control<HeldPushButton>(row.name)->abandon();
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto *w = qobject_cast<QWidget *>(watched);
    if (!w || w->window() != this) return false;
    // A key the control ignores travels on to its parents as the same event; it is previewed
    // only at its first receiver.
    if (event == d->lastKey && d->lastKeyReceiver && w != d->lastKeyReceiver &&
        w->isAncestorOf(d->lastKeyReceiver))
        return false;
    d->lastKey = event;
    d->lastKeyReceiver = w;
    const auto *key = static_cast<QKeyEvent *>(event);
    d->panel.keyDown(KeyMap::virtualKeyCode(key->key()), KeyMap::modifierMask(key->modifiers()));
    return false;
}
