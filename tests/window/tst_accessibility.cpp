// SPDX-License-Identifier: MIT
// What a screen reader gets from the window: a name that says what each control does, a
// description naming the command behind it, and displays whose name is what they show.
#include "ControlTable.h"
#include "LineSettings.h"
#include "WindowRig.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// What each control must be called, and what it must do when operated. A name on the wrong
// control (say "Zoom in" on the button that zooms out) is caught by the effect.
struct Expected
{
    const char *control;
    const char *name;
    const char *effect; // "click CODE", "hold CODE", or one of the panel's own actions
};

constexpr Expected Controls[] = {
    {"Command17", "Power on", "click C00"},
    {"Command18", "Power off", "click C02"},
    {"Command27", "Input PC 1", "click C05"},
    {"Command28", "Input PC 2", "click C06"},
    {"Command29", "Input video", "click C07"},
    {"Command23", "Menu on", "click C1C"},
    {"Command24", "Menu off", "click C1D"},
    {"Command19", "Audio mute on", "click C0B"},
    {"Command20", "Audio mute off", "click C0C"},
    {"Command21", "Video mute on", "click C0D"},
    {"Command22", "Video mute off", "click C0E"},
    {"Command25", "Freeze on", "click C43"},
    {"Command26", "Freeze off", "click C44"},
    {"Command31", "Screen mode normal", "click C0F"},
    {"Command32", "Screen mode wide", "click C10"},
    {"Command10", "Zoom adjustment mode", "click C80"},
    {"Command11", "Focus adjustment mode", "click C87"},
    {"Command13", "Auto image adjustment", "click C89"},
    {"Command14", "Presentation timer", "click C8A"},
    {"Command4", "Picture back to normal", "click C1F"},
    {"Command3", "Clear the on-screen display", "click C1E"},
    {"Command44", "Status read: power state", "click CR0"},
    {"Command45", "Status read: input", "click CR1"},
    {"Command46", "Status read: lamp time", "click CR3"},
    {"Command47", "Status read: picture orientation", "click CR4"},
    {"Command52", "Send C01", "click C01"},
    {"Command5", "Cursor up", "hold C3C"},
    {"Command7", "Cursor down", "hold C3D"},
    {"Command9", "Cursor left", "hold C3B"},
    {"Command8", "Cursor right", "hold C3A"},
    {"Command6", "Select", "hold C3F"},
    {"Command1", "Volume up", "hold C09"},
    {"Command2", "Volume down", "hold C0A"},
    {"Command15", "Zoom in", "hold C47"},
    {"Command35", "Zoom out", "hold C46"},
    {"Command36", "Focus plus", "hold C4B"},
    {"Command37", "Focus minus", "hold C4A"},
    {"Command48", "Digital zoom in", "hold C30"},
    {"Command49", "Digital zoom out", "hold C31"},
    {"Command50", "Keystone plus", "hold C8E"},
    {"Command51", "Keystone minus", "hold C8F"},
    {"Command34", "Show or hide the data area", "toggle data area"},
    {"Command33", "Serial port settings", "open settings"},
    {"Command16", "End the program", "end"},
    {"Option1", "Serial port 1", "port 1"},
    {"Option2", "Serial port 2", "port 2"},
    {"Option3", "19200 baud", "speed 19200,N,8,1"},
    {"Option4", "9600 baud", "speed 9600,N,8,1"},
};

QAccessibleInterface *accessible(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    if (!iface) qFatal("no accessible interface for %s", qPrintable(w->objectName()));
    return iface;
}

// Everything below the window in the tree an assistive technology walks.
void walk(QAccessibleInterface *node, QList<QAccessibleInterface *> &out)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        out << child;
        walk(child, out);
    }
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controls_data();
    void controls();
    void everyControlInTheTreeNamedOnce();
    void displays_data();
    void displays();
};

void TestAccessibility::controls_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("effect");
    for (const Expected &e : Controls)
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(e.control, e.name)))
            << QString(e.control) << QString(e.name) << QString(e.effect);
}

void TestAccessibility::controls()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, effect);
    FakeWindowRig rig;
    QWidget *w = rig.get(control);
    QAccessibleInterface *iface = accessible(w);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QCOMPARE(iface->role(),
             qobject_cast<QRadioButton *>(w) ? QAccessible::RadioButton : QAccessible::Button);
    const QString description = iface->text(QAccessible::Description);
    QVERIFY2(!description.isEmpty(), "a reader says nothing about what it does");
    QCOMPARE(w->toolTip(), description); // what the mouse shows is what the reader says

    const QString verb = effect.section(' ', 0, 0);
    const QString what = effect.section(' ', 1);
    if (verb == "click" || verb == "hold") {
        QCOMPARE(description, verb == "click"
                                  ? "Sends " + what
                                  : "Sends " + what + " while held down with the mouse");
        rig.click(control); // a button nobody listens to, or two listeners, show up here
        QCOMPARE(rig.link.lines(), QList<QByteArray>{what.toLatin1() + '\r'});
    } else if (effect == "toggle data area") {
        QTest::keyClick(rig.get("Command17"), Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(rig.form.height(), Form1::clientHeightFor(Panel::FullHeight));
        rig.click(control);
        QCOMPARE(rig.form.height(), Form1::clientHeightFor(Panel::NormalHeight));
        // The caption changes with every toggle; the name must not follow it.
        QCOMPARE(iface->text(QAccessible::Name), name);
    } else if (effect == "open settings") {
        rig.click(control);
        QVERIFY(rig.get("Frame8")->isVisibleTo(&rig.form));
    } else if (effect == "end") {
        rig.click(control);
        QVERIFY(!rig.link.isOpen());
    } else if (verb == "port") {
        const int port = what.toInt();
        rig.panel.ports().selectPort(3 - port); // start from the other one
        rig.click("Command33");
        rig.click(control);
        QCOMPARE(rig.link.portNumber(), port);
    } else if (verb == "speed") {
        rig.panel.ports().selectSpeed(
            QString::fromLatin1(what.startsWith("9600") ? Settings19200 : Settings9600));
        rig.click("Command33");
        rig.click(control);
        QCOMPARE(rig.link.settings, what);
    } else {
        QFAIL(qPrintable("unknown effect " + effect));
    }
    QVERIFY(rig.boxes.isEmpty());
}

// A control missing from the tree cannot be reached, and two things with one name cannot be
// told apart: the five "+" buttons would all be read as "plus", a frame called like the button
// that opens it as a second button. Groups and the picture are named too.
void TestAccessibility::everyControlInTheTreeNamedOnce()
{
    FakeWindowRig rig;
    QList<QAccessibleInterface *> nodes;
    walk(accessible(&rig.form), nodes);
    QStringList inTree, inTable, expected, names;
    for (QAccessibleInterface *node : nodes)
        if (node->role() == QAccessible::Button || node->role() == QAccessible::RadioButton)
            inTree << node->object()->objectName();
    for (const ControlRow &c : controlTable()) {
        if (c.kind == ControlKind::Button || c.kind == ControlKind::Option) inTable << c.name;
        if (c.kind == ControlKind::Label) continue;
        const QString name = accessible(rig.get(c.name))->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty(), c.name);
        QVERIFY2(!names.contains(name), qPrintable(QStringLiteral("%1 again").arg(name)));
        names << name;
    }
    for (const Expected &e : Controls) expected << e.control;
    inTree.sort();
    inTable.sort();
    expected.sort();
    QCOMPARE(inTree, inTable);
    QCOMPARE(expected, inTable);
}

void TestAccessibility::displays_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("shown"); // after STATUS and the reply "00"

    QTest::newRow("TXD") << "Label11"
                         << "Command line last sent"
                         << " C R 0 CR ";
    QTest::newRow("RXD") << "Label12"
                         << "Reply received"
                         << " 0 0 CR ";
    QTest::newRow("status") << "Label25"
                            << "Projector status"
                            << " Power ON";
}

void TestAccessibility::displays()
{
    QFETCH(QString, display);
    QFETCH(QString, shown);
    FakeWindowRig rig;
    auto *label = qobject_cast<QLabel *>(rig.get(display));
    QVERIFY(label);
    QAccessibleInterface *iface = accessible(label);
    QCOMPARE(iface->role(), QAccessible::StaticText);
    QTEST(iface->text(QAccessible::Description), "description");
    QCOMPARE(iface->text(QAccessible::Name), QString());

    // A fixed name here would hide what the display shows. That each change is also announced
    // needs a platform with an accessibility bridge, which the offscreen one lacks:
    // scripts/check-accessibility checks it over AT-SPI.
    rig.click("Command44");
    rig.link.receive("00\r");
    QCOMPARE(label->text(), shown);
    QCOMPARE(iface->text(QAccessible::Name), shown);

    // Cleared a second after the command: the name empties with the text.
    rig.clock.advance(1000ms);
    QCOMPARE(label->text(), QString());
    QCOMPARE(iface->text(QAccessible::Name), QString());
    QTEST(iface->text(QAccessible::Description), "description");
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
