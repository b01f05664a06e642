// SPDX-License-Identifier: MIT
#include "ControlTable.h"
#include "WindowRig.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString Caption = QStringLiteral("TAVO   R410 & R420 & R430 & R440   CONTROL  Ver.1.30");
const QString Show = QStringLiteral("データを表示する");
const QString Hide = QStringLiteral("データを表示しない");

QString captionOf(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w)) return b->text();
    if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
    return {};
}

// Counts the presses of one key that reach a control.
struct KeyCounter : QObject
{
    int key = 0;
    int presses = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        presses += e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == key;
        return false;
    }
};
} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void representativeControls_data();
    void representativeControls();
    void everyTableRowIsBuilt();
    void windowAndPlacement();
    void paintsFacesAndLines();
    void tabOrderAndFirstFocus();
    void keyboardActivation_data();
    void keyboardActivation();
    void ctrlH_data();
    void ctrlH();
    void dataAreaToggle_data();
    void dataAreaToggle();
    void toggleOutOfViewByKeyboard();
    void togglePostponesPanelHiding();
    void mouseButtons_data();
    void mouseButtons();
    void releaseAfterPointerLeft_data();
    void releaseAfterPointerLeft();
    void doubleClickIsTwoPresses();
    void modalBoxEndsTheHold();
    void settingsPanelAndOptions();
    void portSwitchFailureWarnsAtOnce_data();
    void portSwitchFailureWarnsAtOnce();
    void laterFailuresAreQueuedAndNeverStacked();
    void deviceLost_data();
    void deviceLost();
    void settingsNotAppliedIsSaid();
    void displaysFollowTheExchange();
    void endClosesTheWindow();
};

void TestForm1::representativeControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("shown");

    const auto row = [](const char *tag, const char *name, const char *parent,
                        const QString &caption, QRect geometry, bool shown) {
        QTest::newRow(tag) << QString(name) << QString(parent) << caption << geometry << shown;
    };
    row("frame child", "Command17", "Frame1", "ON", {8, 40, 49, 20}, true);
    row("two blanks", "Label6", "Frame5", "VIDEO  SCREEN", {8, 16, 137, 22}, true);
    row("arrow", "Command5", "Form1", "↑", {80, 168, 57, 25}, true);
    row("rounded height", "Command3", "Form1", "DISPLAY CLEAR", {544, 240, 73, 33}, true);
    row("picture", "Image1", "Form1", "", {544, 8, 80, 26}, true);
    row("COM", "Command33", "Form1", "COM", {272, 280, 121, 25}, true);
    row("settings panel", "Frame8", "Form1", "", {240, 240, 185, 79}, false);
    row("frame in frame", "Frame10", "Frame8", "", {8, 34, 169, 41}, false);
    row("speed option", "Option3", "Frame10", "19200", {7, 13, 82, 22}, false);
    row("toggle", "Command34", "Form1", Show, {528, 336, 89, 25}, false);
    row("TXD title", "Label9", "Frame9", "TXD", {8, 14, 34, 23}, true);
    row("TXD display", "Label11", "Frame9", "", {48, 13, 377, 20}, true);
    row("status display", "Label25", "Frame15", "", {72, 9, 313, 20}, true);
    row("C01", "Command52", "Form1", "C01", {8, 408, 33, 17}, true);
}

void TestForm1::representativeControls()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    FakeWindowRig rig;
    QWidget *w = rig.get(name);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QTEST(captionOf(w), "caption");
    QTEST(w->geometry(), "geometry");
    QTEST(w->isVisibleTo(&rig.form), "shown");
}

void TestForm1::everyTableRowIsBuilt()
{
    FakeWindowRig rig;
    QStringList names;
    for (const ControlRow &c : controlTable()) {
        const QString name = QString::fromUtf8(c.name);
        names << name;
        QWidget *w = rig.get(name);
        QCOMPARE(w->parentWidget()->objectName(), c.parent ? QString::fromUtf8(c.parent) : "Form1");
        QCOMPARE(captionOf(w), QString::fromUtf8(c.caption));
        QCOMPARE(w->isHidden(), c.hiddenAtStart);
        if (c.font.family != FontFamily::None) {
            QCOMPARE(w->font().family(),
                     QString::fromUtf8(c.font.family == FontFamily::Gothic ? "ＭＳ ゴシック"
                                                                           : "ＭＳ Ｐゴシック"));
            QCOMPARE(w->font().pointSizeF(), c.font.points);
            QCOMPARE(w->font().weight(), c.font.bold ? QFont::Bold : QFont::Normal);
        }
        const auto role = c.kind == ControlKind::Button ? QPalette::Button : QPalette::Window;
        QCOMPARE(w->palette().isBrushSet(QPalette::Active, role), c.face != SystemFace);
        if (c.face != SystemFace) QCOMPARE(w->palette().color(role).rgb() & 0xFFFFFF, uint(c.face));
    }
    QCOMPARE(names.size(), 78);
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
}

void TestForm1::windowAndPlacement()
{
    FakeWindowRig rig;
    QCOMPARE(rig.form.windowTitle(), Caption);
    QCOMPARE(rig.form.minimumSize(), rig.form.maximumSize());
    QCOMPARE(rig.form.size(), QSize(633, 322));
    QCOMPARE(Form1::clientHeightFor(5200), 322);
    QCOMPARE(Form1::clientHeightFor(6645), 418);
    QCOMPARE(Form1::clientHeightFor(7200), 455);
    // Centred as if 9585 x 7200 twips, i.e. 639 x 480 pixels.
    const QRect screen = rig.form.screen()->geometry();
    QCOMPARE(rig.form.pos(),
             QPoint(qRound((screen.width() - 639) / 2.0), qRound((screen.height() - 480) / 2.0)));
}

void TestForm1::paintsFacesAndLines()
{
    FakeWindowRig rig;
    rig.panel.keyDown(72, 2);
    rig.click("Command33");
    const QImage img = rig.form.grab().toImage();
    const auto at = [&](const char *name, QPoint p) {
        return img.pixelColor(rig.get(name)->mapTo(&rig.form, p));
    };
    QCOMPARE(img.pixelColor(300, 10), QColor(0xC0C0C0)); // window background
    QCOMPARE(at("Label25", QPoint(300, 10)), QColor(0xFFFFFF));
    const QColor on = at("Command17", QPoint(40, 10));
    QVERIFY2(on.green() > on.red() + 20 && on.green() > on.blue() + 20, qPrintable(on.name()));
    const QColor select = at("Command6", QPoint(6, 12));
    QVERIFY2(select.red() > select.green() + 40 && select.green() > select.blue() + 40,
             qPrintable(select.name()));
    // Both ends of a vertical and a horizontal line, and a corner where they meet.
    for (QPoint p : {QPoint(72, 160), QPoint(72, 192), QPoint(144, 160), QPoint(8, 232)})
        QCOMPARE(img.pixelColor(p), QColor(0x8080FF));
    QCOMPARE(rig.get("Line7")->geometry(), QRect(72, 160, 73, 1));

    const QImage picture = rig.get<QLabel>("Image1")->pixmap().toImage();
    QCOMPARE(picture.size(), QSize(80, 26));
    QSet<QRgb> colours;
    for (int y = 0; y < 26; ++y)
        for (int x = 0; x < 80; ++x) colours.insert(picture.pixel(x, y));
    QVERIFY(colours.size() > 20);
}

void TestForm1::tabOrderAndFirstFocus()
{
    FakeWindowRig rig;
    QStringList expected, chain;
    for (const char *name : tabOrder()) expected << name;
    QWidget *w = rig.get("Command17");
    do {
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != rig.get("Command17"));
    QCOMPARE(chain, expected); // no control outside the order takes the focus, none is left out

    rig.form.show();
    QVERIFY(QTest::qWaitForWindowActive(&rig.form));
    QCOMPARE(QApplication::focusWidget(), rig.get("Command17"));
    // Out of view is still reachable: Tab from the last visible button before the data area.
    rig.get("Command37")->setFocus();
    QTest::keyClick(rig.get("Command37"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command44"));
}

void TestForm1::keyboardActivation_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArrayList>("sent");

    QTest::newRow("one-shot, space")
        << "Command17" << int(Qt::Key_Space) << QByteArrayList{"C00\r"};
    QTest::newRow("one-shot, return")
        << "Command17" << int(Qt::Key_Return) << QByteArrayList{"C00\r"};
    QTest::newRow("one-shot, enter")
        << "Command44" << int(Qt::Key_Enter) << QByteArrayList{"CR0\r"};
    QTest::newRow("held, space") << "Command1" << int(Qt::Key_Space) << QByteArrayList{};
    QTest::newRow("held arrow, return") << "Command5" << int(Qt::Key_Return) << QByteArrayList{};
    QTest::newRow("held select, space") << "Command6" << int(Qt::Key_Space) << QByteArrayList{};
}

void TestForm1::keyboardActivation()
{
    QFETCH(QString, name);
    QFETCH(int, key);
    FakeWindowRig rig;
    rig.get(name)->setFocus();
    QTest::keyClick(rig.get(name), Qt::Key(key));
    rig.clock.advance(1000ms);
    QTEST(rig.link.lines(), "sent");
}

void TestForm1::ctrlH_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("opens");

    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    QTest::newRow("ctrl+h") << "Command17" << int(Qt::Key_H) << ctrl << true;
    QTest::newRow("ctrl+h on an option") << "Option3" << int(Qt::Key_H) << ctrl << true;
    QTest::newRow("ctrl+h on a held button") << "Command1" << int(Qt::Key_H) << ctrl << true;
    QTest::newRow("ctrl+shift+h") << "Command17" << int(Qt::Key_H) << (ctrl | Qt::ShiftModifier)
                                  << false;
    QTest::newRow("ctrl+alt+h") << "Command17" << int(Qt::Key_H) << (ctrl | Qt::AltModifier)
                                << false;
    QTest::newRow("ctrl+shift+alt+h")
        << "Command17" << int(Qt::Key_H) << (ctrl | Qt::ShiftModifier | Qt::AltModifier) << false;
    // Only Shift, Ctrl and Alt count.
    QTest::newRow("ctrl+meta+h") << "Command17" << int(Qt::Key_H) << (ctrl | Qt::MetaModifier)
                                 << true;
    QTest::newRow("h") << "Command17" << int(Qt::Key_H) << Qt::KeyboardModifiers() << false;
    QTest::newRow("ctrl+g") << "Command17" << int(Qt::Key_G) << ctrl << false;
}

void TestForm1::ctrlH()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, opens);
    FakeWindowRig rig;
    rig.click("Command33"); // makes the options focusable
    QWidget *target = rig.get(focus);
    target->setFocus();
    KeyCounter counter;
    counter.key = key;
    target->installEventFilter(&counter);
    QTest::keyClick(target, Qt::Key(key), modifiers);
    QCOMPARE(counter.presses, 1); // previewed, not swallowed
    QCOMPARE(rig.form.height(), opens ? 455 : 322);
    QCOMPARE(rig.get("Command34")->isVisibleTo(&rig.form), opens);
    QCOMPARE(rig.get<QPushButton>("Command34")->text(), opens ? QStringLiteral("CLOSE") : Show);
    QVERIFY(rig.link.lines().isEmpty());
}

void TestForm1::dataAreaToggle_data()
{
    QTest::addColumn<QStringList>("steps"); // H: Ctrl+H, T: click Command34, P: toggle in the panel
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("shown");

    QTest::newRow("full, toggle closes") << QStringList{"H", "T"} << 322 << Show << true;
    QTest::newRow("closed, toggle opens") << QStringList{"H", "T", "T"} << 418 << Hide << true;
    QTest::newRow("open, toggle closes") << QStringList{"H", "T", "T", "T"} << 322 << Show << true;
    QTest::newRow("open, ctrl+h widens")
        << QStringList{"H", "T", "T", "H"} << 455 << "CLOSE" << true;
    QTest::newRow("ctrl+h twice") << QStringList{"H", "H"} << 455 << "CLOSE" << true;
    QTest::newRow("toggle before ctrl+h") << QStringList{"P"} << 418 << Hide << false;
    QTest::newRow("toggle twice before ctrl+h") << QStringList{"P", "P"} << 322 << Show << false;
}

void TestForm1::dataAreaToggle()
{
    QFETCH(QStringList, steps);
    FakeWindowRig rig;
    for (const QString &step : steps) {
        if (step == "H") QTest::keyClick(rig.get("Command17"), Qt::Key_H, Qt::ControlModifier);
        if (step == "T") rig.click("Command34");
        if (step == "P") rig.panel.toggleDataArea();
    }
    QTEST(rig.form.height(), "height");
    QTEST(rig.get<QPushButton>("Command34")->text(), "caption");
    QTEST(rig.get("Command34")->isVisibleTo(&rig.form), "shown");
    // Only the toggle postpones the settings panel's hiding.
    QCOMPARE(rig.panel.timer3().isActive(), steps.contains("T") || steps.contains("P"));
}

void TestForm1::toggleOutOfViewByKeyboard()
{
    FakeWindowRig rig;
    rig.panel.keyDown(72, 2);
    rig.click("Command34");
    QWidget *toggle = rig.get("Command34");
    QVERIFY(toggle->y() >= rig.form.height()); // out of view, but there
    toggle->setFocus();
    QTest::keyClick(toggle, Qt::Key_Space);
    QCOMPARE(rig.form.height(), 418);
    QCOMPARE(rig.get<QPushButton>("Command34")->text(), Hide);
}

void TestForm1::togglePostponesPanelHiding()
{
    FakeWindowRig rig;
    rig.panel.keyDown(72, 2);
    QWidget *panel = rig.get("Frame8");
    rig.click("Command33");
    QVERIFY(panel->isVisibleTo(&rig.form));
    rig.clock.advance(3000ms);
    rig.click("Command34");
    rig.clock.advanceTo(7999ms);
    QVERIFY(panel->isVisibleTo(&rig.form));
    rig.clock.advanceTo(8000ms);
    QVERIFY(!panel->isVisibleTo(&rig.form));
    QVERIFY(!rig.panel.timer3().isActive());
}

void TestForm1::mouseButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QList<long long>>("at"); // press at 0, release at 600 ms

    const QList<long long> vol{0, 250, 500};
    QTest::newRow("held, left") << "Command1" << Qt::LeftButton << Qt::KeyboardModifiers() << vol;
    QTest::newRow("held, right") << "Command1" << Qt::RightButton << Qt::KeyboardModifiers() << vol;
    QTest::newRow("held, middle") << "Command1" << Qt::MiddleButton << Qt::KeyboardModifiers()
                                  << vol;
    QTest::newRow("held, shift+left")
        << "Command1" << Qt::LeftButton << Qt::KeyboardModifiers(Qt::ShiftModifier) << vol;
    QTest::newRow("held, ctrl+alt+right")
        << "Command1" << Qt::RightButton
        << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << vol;
    QTest::newRow("one-shot, left")
        << "Command17" << Qt::LeftButton << Qt::KeyboardModifiers() << QList<long long>{600};
    QTest::newRow("one-shot, right")
        << "Command17" << Qt::RightButton << Qt::KeyboardModifiers() << QList<long long>{};
    QTest::newRow("one-shot, middle")
        << "Command17" << Qt::MiddleButton << Qt::KeyboardModifiers() << QList<long long>{};
}

void TestForm1::mouseButtons()
{
    QFETCH(QString, name);
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    FakeWindowRig rig;
    QTest::mousePress(rig.get(name), button, modifiers, QPoint(4, 4));
    rig.clock.advance(600ms);
    QTest::mouseRelease(rig.get(name), button, modifiers, QPoint(4, 4));
    rig.clock.advance(2000ms);
    QTEST(rig.link.times(), "at");
    QCOMPARE(rig.panel.repeatCode(), 0);
}

void TestForm1::releaseAfterPointerLeft_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
}

// Through the window, so that Qt's own routing of the release is what is tested.
void TestForm1::releaseAfterPointerLeft()
{
    QFETCH(Qt::MouseButton, button);
    FakeWindowRig rig;
    rig.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    QWindow *window = rig.form.windowHandle();
    const QPoint on = rig.get("Command1")->mapTo(&rig.form, QPoint(10, 8));
    const QPoint off = rig.get("Label1")->mapTo(&rig.form, QPoint(10, 8));
    QTest::mousePress(window, button, {}, on);
    rig.clock.advance(300ms);
    QTest::mouseMove(window, off);
    QTest::mouseRelease(window, button, {}, off);
    rig.clock.advance(2000ms);
    QCOMPARE(rig.link.times(), (QList<long long>{0, 250}));
    QVERIFY(!rig.get<QPushButton>("Command1")->isDown());
}

// Qt turns the second press into a double-click event; it must still press.
void TestForm1::doubleClickIsTwoPresses()
{
    FakeWindowRig rig;
    rig.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    QTest::mouseDClick(rig.form.windowHandle(), Qt::LeftButton, {},
                       rig.get("Command1")->mapTo(&rig.form, QPoint(10, 8)));
    rig.clock.advance(1000ms);
    QCOMPARE(rig.link.lines(), (QByteArrayList{"C09\r", "C09\r"}));
}

// Qt drops the release while a modal box blocks the window.
void TestForm1::modalBoxEndsTheHold()
{
    FakeWindowRig rig;
    QTest::mousePress(rig.get("Command1"), Qt::LeftButton);
    QEvent blocked(QEvent::WindowBlocked);
    QCoreApplication::sendEvent(&rig.form, &blocked);
    rig.clock.advance(1000ms);
    QCOMPARE(rig.link.times(), QList<long long>{0});
    QVERIFY(!rig.get<QPushButton>("Command1")->isDown());
    QCOMPARE(rig.panel.timer2().interval(), 500ms);
}

void TestForm1::settingsPanelAndOptions()
{
    FakeWindowRig rig;
    const auto checked = [&](const char *name) { return rig.get<QRadioButton>(name)->isChecked(); };
    QVERIFY(checked("Option1") && !checked("Option2") && checked("Option3") && !checked("Option4"));
    const QPoint com = rig.get("Command33")->mapTo(&rig.form, QPoint(60, 12));
    QCOMPARE(rig.form.childAt(com)->objectName(), QStringLiteral("Command33"));

    rig.click("Command33");
    QVERIFY(rig.get("Frame8")->isAncestorOf(rig.form.childAt(com))); // covers COM
    rig.click("Option2");
    QCOMPARE(rig.link.portNumber(), 2);
    QVERIFY(!checked("Option1") && checked("Option2"));
    QVERIFY(!rig.get("Frame8")->isVisibleTo(&rig.form));

    rig.click("Command33");
    rig.click("Option4");
    QCOMPARE(rig.link.settings, QStringLiteral("9600,N,8,1"));
    QVERIFY(!checked("Option3") && checked("Option4"));
    QVERIFY(rig.boxes.isEmpty());
}

void TestForm1::portSwitchFailureWarnsAtOnce_data()
{
    QTest::addColumn<bool>("connects");
    QTest::newRow("open fails") << false;
    QTest::newRow("connection fails") << true;
}

// Shown before the click returns, or as soon as the connection fails; never stacked on later.
void TestForm1::portSwitchFailureWarnsAtOnce()
{
    QFETCH(bool, connects);
    FakeWindowRig rig;
    rig.link.missingPorts = {2};
    rig.link.connects = connects;
    rig.click("Command33");
    rig.click("Option2");
    if (connects) {
        QVERIFY(rig.boxes.isEmpty());
        // Handled at once: the panel hides, and a click meanwhile waits in the link.
        QVERIFY(!rig.get("Frame8")->isVisibleTo(&rig.form));
        rig.click("Command17");
        QVERIFY(rig.boxes.isEmpty());
        rig.link.failConnect(LinkFailure::Cause::Missing);
    }
    QCOMPARE(
        rig.boxes,
        QStringList{Caption + "|Cannot open serial port 2 (fake2): the device does not exist."});
    QCOMPARE(rig.link.portNumber(), 1);
    QVERIFY(rig.link.lines().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(rig.boxes.size(), 1);
}

void TestForm1::laterFailuresAreQueuedAndNeverStacked()
{
    FakeWindowRig rig;
    rig.link.failWrites = true;
    rig.click("Command17");
    QTest::mousePress(rig.get("Command1"), Qt::LeftButton);
    rig.clock.advance(1000ms);
    rig.link.unplug(QStringLiteral("unplugged"));
    QVERIFY(rig.boxes.isEmpty()); // not inside the mouse event
    QCoreApplication::processEvents();
    QCOMPARE(rig.boxes.size(), 1);
    QVERIFY(rig.boxes[0].startsWith(Caption + "|Cannot send to serial port 1"));

    // A failure while a box is open does not open a second one on top of it.
    rig.form.setWarningBox([&](const QString &, const QString &text) {
        rig.boxes << text;
        rig.link.unplug(QStringLiteral("again"));
        QCoreApplication::processEvents();
    });
    rig.click("Command18");
    QCoreApplication::processEvents();
    QCOMPARE(rig.boxes.size(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(rig.boxes.size(), 2);
}

void TestForm1::displaysFollowTheExchange()
{
    FakeWindowRig rig;
    rig.click("Command44");
    QCOMPARE(rig.get<QLabel>("Label11")->text(), QStringLiteral(" C R 0 CR "));
    rig.link.receive("00\r");
    QCOMPARE(rig.get<QLabel>("Label12")->text(), QStringLiteral(" 0 0 CR "));
    QCOMPARE(rig.get<QLabel>("Label25")->text(), QStringLiteral(" Power ON"));
    rig.clock.advance(1000ms);
    for (const char *name : {"Label11", "Label12", "Label25"})
        QVERIFY(rig.get<QLabel>(name)->text().isEmpty());
}

void TestForm1::endClosesTheWindow()
{
    FakeWindowRig rig;
    rig.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    rig.click("Command16");
    QVERIFY(!rig.link.isOpen());
    QVERIFY(!rig.form.isVisible());
    QVERIFY(rig.link.lines().isEmpty());
}

void TestForm1::deviceLost_data()
{
    QTest::addColumn<QString>("then");
    QTest::addColumn<bool>("waiting");
    QTest::addColumn<QStringList>("boxes"); // after the one about the loss; words they contain
    const QString lost = QStringLiteral("opens the port again by itself");
    QTest::newRow("a click") << "click" << true
                             << QStringList{lost, "Cannot send to serial port 1 (fake1): its "
                                                  "device has gone away. The port opens again"};
    QTest::newRow("retries fail") << "retries fail" << true << QStringList{lost};
    QTest::newRow("back while the box is up")
        << "back in the box" << false << QStringList{lost, "dismissed"};
    QTest::newRow("back before the box") << "back" << false << QStringList{};
    QTest::newRow("a switch that works") << "switch" << false << QStringList{lost};
    QTest::newRow("a switch that fails")
        << "failed switch" << false << QStringList{lost, "(fake2): the device does not exist"};
}

// One loss, one box, whose words agree with the automatic reopening; the title says "lost" for
// as long as the link waits, and the box goes when the wait ends.
void TestForm1::deviceLost()
{
    QFETCH(QString, then);
    QFETCH(bool, waiting);
    QFETCH(QStringList, boxes);
    FakeWindowRig rig;
    if (then == "back in the box")
        rig.form.setWarningBox(
            [&](const QString &, const QString &text) {
                rig.boxes << text;
                rig.link.replug();
            },
            [&] { rig.boxes << QStringLiteral("dismissed"); });
    rig.link.unplug(QStringLiteral("unplugged"));
    QCOMPARE(rig.form.windowTitle(), Caption + " - port 1 (fake1) lost");
    if (then == "back") rig.link.replug();
    QCoreApplication::processEvents();

    if (then == "click") {
        rig.click("Command17");
    } else if (then == "retries fail") {
        rig.link.unplug(QStringLiteral("again"));
        Q_EMIT rig.link.openFailed(rig.link.failure());
    } else if (then == "switch" || then == "failed switch") {
        if (then == "failed switch") rig.link.missingPorts = {2};
        rig.click("Command33");
        rig.click("Option2");
    }
    QCoreApplication::processEvents();

    QCOMPARE(rig.boxes.size(), boxes.size());
    for (qsizetype i = 0; i < boxes.size(); ++i)
        QVERIFY2(rig.boxes[i].contains(boxes[i]), qPrintable(rig.boxes[i]));
    QCOMPARE(rig.form.windowTitle(),
             waiting ? Caption + " - port 1 (fake1) lost" : QString(Caption));
}

// A device that cannot be given a speed says so once, when the operator chooses one; not for
// the speed applied at start.
void TestForm1::settingsNotAppliedIsSaid()
{
    FakeWindowRig rig;
    rig.link.lineNotSettable = true;
    QVERIFY(rig.panel.load());
    for (const char *option : {"Option4", "Option3", "Option4"})
        QVERIFY(rig.panel.activate(QLatin1StringView(option)));
    QCoreApplication::processEvents();
    QCOMPARE(rig.boxes.size(), 1);
    QVERIFY2(rig.boxes.first().contains(QLatin1String("raw TCP")), qPrintable(rig.boxes.first()));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
