// SPDX-License-Identifier: MIT
#include "Form1.h"

#include "ControlTable.h"
#include "KeyMap.h"
#include "OneLineDisplay.h"
#include "PanelWidgets.h"
#include "WindowControls.h"

#include <QApplication>
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

#include <array>
#include <memory>
#include <utility>

namespace {
using WindowControls::px;
using WindowControls::setRole;

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

    std::array<OneLineDisplay, 3> displays;

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

    d->controls = WindowControls::build(*this, d->style.get());
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

    d->displays[std::size_t(Exchange::Display::Txd)].setLabel(d->control<QLabel>("Label11"));
    d->displays[std::size_t(Exchange::Display::Rxd)].setLabel(d->control<QLabel>("Label12"));
    d->displays[std::size_t(Exchange::Display::Status)].setLabel(d->control<QLabel>("Label25"));
    // No accessible name of its own: a label without one is named by its text and announces
    // every change, while setting one as well would announce each twice.
    connect(&panel.exchange(), &Exchange::displayChanged, this,
            [this](Exchange::Display which, const QString &text) {
                d->displays[std::size_t(which)].show(text);
            });
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
