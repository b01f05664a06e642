// SPDX-License-Identifier: MIT
#include "Form1.h"

#include "ControlTable.h"
#include "LineSettings.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QFrame>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <memory>

namespace {
// Far more than the widest display shows.
constexpr qsizetype ShownTraceLength = 1024;

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

// A push button whose caption wraps at blanks (and between CJK characters) when one line is
// too wide, as the design expects of the two-line-high "DISPLAY CLEAR".
class WrappingPushButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *e) override
    {
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        if (fontMetrics().horizontalAdvance(text()) <= room.width())
            return QPushButton::paintEvent(e);
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

private:
    // Still readable; below this a caption would rather touch the frame.
    static constexpr qreal MinimumWrappedPoints = 7;
};

// A held button sees every press and release, whatever the mouse button or modifiers, and
// never turns them into clicks. Accepting the press keeps Qt's implicit grab on this button,
// so the release arrives here even when the pointer has left it.
class HeldPushButton final : public WrappingPushButton
{
public:
    using WrappingPushButton::WrappingPushButton;

    void setHandlers(std::function<void()> press, std::function<void()> release)
    {
        m_press = std::move(press);
        m_release = std::move(release);
    }

    // A modal box swallows the release that would end the hold, so the hold ends here.
    void abandon()
    {
        if (!isDown()) return;
        setDown(false);
        if (m_release) m_release();
    }

protected:
    // The second press of a double click arrives as a double-click event only; QWidget's
    // default handling passes it here, so it presses like any other.
    void mousePressEvent(QMouseEvent *e) override
    {
        e->accept();
        setDown(true);
        if (m_press) m_press();
    }
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        e->accept();
        if (e->buttons() == Qt::NoButton) setDown(false);
        if (m_release) m_release();
    }
    // The pressed look stays while the pointer wanders; QPushButton would toggle it.
    void mouseMoveEvent(QMouseEvent *e) override { e->accept(); }

private:
    std::function<void()> m_press;
    std::function<void()> m_release;
};

// A straight line between two points given in its own coordinates.
class LineWidget final : public QWidget
{
public:
    LineWidget(QPoint from, QPoint to, QWidget *parent) : QWidget(parent)
    {
        const QRect box = QRect(from, to).normalized();
        setGeometry(box); // both end points included
        m_from = from - box.topLeft();
        m_to = to - box.topLeft();
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setPen(QPen(rgb(LineColour), 1));
        p.drawLine(m_from, m_to);
    }

private:
    QPoint m_from, m_to;
};

// The decorative picture: a small projector throwing its beam onto a screen.
QPixmap makePicture(QSize size)
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

// What the buttons outside the two command tables do.
struct ButtonAction
{
    const char *name;
    void (*run)(Panel &);
};

const ButtonAction ButtonActions[] = {
    {"Command33", [](Panel &p) { p.ports().showPanel(); }},
    {"Command16", [](Panel &p) { p.ports().end(); }},
    {"Command34", [](Panel &p) { p.toggleDataArea(); }},
};

// The option buttons: a port number, or line settings.
struct OptionChoice
{
    const char *name;
    int port;
    const char *settings;
};

const OptionChoice OptionChoices[] = {
    {"Option1", 1, nullptr},
    {"Option2", 2, nullptr},
    {"Option3", 0, Settings19200},
    {"Option4", 0, Settings9600},
};

// The virtual key code that the key-down handler expects; 0 for keys it has no code for.
int virtualKeyCode(int key)
{
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9) ||
        key == Qt::Key_Space)
        return key; // the same codes
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
    static const QHash<int, int> others{
        {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},     {Qt::Key_Backtab, 9},   {Qt::Key_Return, 13},
        {Qt::Key_Enter, 13},    {Qt::Key_Shift, 16},  {Qt::Key_Control, 17},  {Qt::Key_Alt, 18},
        {Qt::Key_Escape, 27},   {Qt::Key_PageUp, 33}, {Qt::Key_PageDown, 34}, {Qt::Key_End, 35},
        {Qt::Key_Home, 36},     {Qt::Key_Left, 37},   {Qt::Key_Up, 38},       {Qt::Key_Right, 39},
        {Qt::Key_Down, 40},     {Qt::Key_Insert, 45}, {Qt::Key_Delete, 46},
    };
    return others.value(key, 0);
}

int modifierMask(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
}

// The tool tip of a button that sends a command: the code, from the tables that send it.
QString commandTip(const char *name)
{
    for (const OneShotButton &b : OneShotButtons)
        if (qstrcmp(b.name, name) == 0)
            return QStringLiteral("Sends %1").arg(QLatin1String(b.code));
    // Said aloud too: the keyboard cannot hold a button down.
    for (const HoldButton &b : HoldButtons)
        if (qstrcmp(b.name, name) == 0)
            return QStringLiteral("Sends %1 while held down with the mouse")
                .arg(QLatin1String(b.code));
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
    std::unique_ptr<QStyle> style{
        qApp->style()->name() == QLatin1String("fusion")
            ? nullptr
            : QStyleFactory::create(QStringLiteral("Fusion"))};
    QHash<QString, QWidget *> controls;
    WarningBox warningBox;
    bool boxOpen = false;
    bool boxQueued = false;
    const QEvent *lastKey = nullptr;
    QPointer<QWidget> lastKeyReceiver;

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

    d->warningBox = [this](const QString &title, const QString &text) {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
        box.exec();
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
    Panel &panel = d->panel;
    panel.setLayoutHandler({});
    panel.exchange().setDisplayHandler({});
    panel.exchange().setFailureHandler({});
    panel.ports().setWarningHandler({});
    panel.ports().setChangedHandler({});
    panel.ports().setQuitHandler({});
    panel.link().setLostHandler({});
    // The controls use the style that Private owns, so they go first.
    qDeleteAll(findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
    delete d;
}

void Form1::build()
{
    // Lines first: they lie beneath every control.
    for (const LineRow &line : lineTable()) {
        auto *w = new LineWidget(QPoint(px(line.x1), px(line.y1)), QPoint(px(line.x2), px(line.y2)),
                                 this);
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
            picture->setPixmap(makePicture(QSize(px(c.width), px(c.height))));
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
        if (a.name) w->setAccessibleName(QString::fromUtf8(a.name));
        if (a.description) w->setAccessibleDescription(QString::fromUtf8(a.description));
        const QString tip = a.toolTip ? QString::fromUtf8(a.toolTip) : commandTip(a.control);
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
    for (const HoldButton &row : HoldButtons)
        d->control<HeldPushButton>(row.name)->setHandlers([&panel, &row] { panel.press(row); },
                                                          [&panel, &row] { panel.release(row); });
    for (const ButtonAction &action : ButtonActions)
        connect(d->control<QPushButton>(action.name), &QPushButton::clicked, this,
                [&panel, run = action.run] { run(panel); });
    for (const OptionChoice &choice : OptionChoices)
        connect(d->control<QRadioButton>(choice.name), &QRadioButton::clicked, this,
                [&panel, &choice] {
                    if (choice.port)
                        panel.ports().selectPort(choice.port);
                    else
                        panel.ports().selectSpeed(QString::fromLatin1(choice.settings));
                });

    panel.exchange().setDisplayHandler([this](Exchange::Display which, const QString &text) {
        const char *name = which == Exchange::Display::Txd   ? "Label11"
                           : which == Exchange::Display::Rxd ? "Label12"
                                                             : "Label25";
        // The one-line label shows only the start of a long reply; handing it all of a 100 KB
        // trace would lay it out, and copy it, again on every notification.
        // No accessible name of its own: a label without one is named by its text and announces
        // every change, while setting one as well would announce each change twice.
        d->control<QLabel>(name)->setText(text.left(ShownTraceLength));
    });
    panel.ports().setChangedHandler([this] { syncPorts(); });
    panel.setLayoutHandler([this] { syncLayout(); });
    panel.ports().setWarningHandler([this](const QString &text) { warnNow(text); });
    panel.exchange().setFailureHandler([this](const QString &text) { warnLater(text); });
    panel.link().setLostHandler([this](const QString &text) { warnLater(text); });
    panel.ports().setQuitHandler([this] {
        close();
        QCoreApplication::quit();
    });
}

void Form1::syncPorts()
{
    const PortControl &ports = d->panel.ports();
    d->control<QWidget>("Frame8")->setVisible(ports.panelVisible());
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

void Form1::setWarningBox(WarningBox box)
{
    d->warningBox = std::move(box);
}

void Form1::warnNow(const QString &text)
{
    d->boxOpen = true;
    d->warningBox(windowTitle(), text);
    d->boxOpen = false;
}

// Failures found inside a mouse or serial event are shown once that event is over, and at most
// one box at a time: a device that vanishes mid-hold must not pile up boxes.
void Form1::warnLater(const QString &text)
{
    if (d->boxOpen || d->boxQueued) return;
    d->boxQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            d->boxQueued = false;
            if (!d->boxOpen) warnNow(text);
        },
        Qt::QueuedConnection);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::WindowBlocked && watched == this) {
        for (const HoldButton &row : HoldButtons)
            d->control<HeldPushButton>(row.name)->abandon();
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
    d->panel.keyDown(virtualKeyCode(key->key()), modifierMask(key->modifiers()));
    return false;
}
