// SPDX-License-Identifier: MIT
// Which device a port stands for: kept between runs, chosen in the box when port 1 fails at
// start, and changed from the COM1/COM2 options' context menu. The serial ports found are a
// made-up list; the devices that open are pseudo-terminals.
#include "DeviceLink.h"
#include "DeviceMemory.h"
#include "DeviceMenu.h"
#include "Form1.h"
#include "Panel.h"
#include "PortList.h"
#include "Pty.h"
#include "StartupChooser.h"
#include "VirtualClock.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <optional>

namespace {
using Ports = QList<FoundPort>;

template <typename T> T *child(QObject *parent, const char *name)
{
    T *w = parent->findChild<T *>(QLatin1String(name));
    if (!w) qFatal("no %s", name);
    return w;
}

// Plays the operator in the modal chooser: one step each time it is shown.
struct Operator : QObject
{
    QStringList steps; // quit, enter, escape, "row N" then Open, "type TEXT" then Enter
    int shown = 0;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *chooser = qobject_cast<StartupChooser *>(watched);
        if (chooser && event->type() == QEvent::Show) {
            ++shown;
            const QString step = steps.isEmpty() ? QStringLiteral("quit") : steps.takeFirst();
            QMetaObject::invokeMethod(
                chooser, [chooser, step] { act(chooser, step); }, Qt::QueuedConnection);
        }
        return false;
    }

    static void act(StartupChooser *chooser, const QString &step)
    {
        auto *list = child<QTreeWidget>(chooser, "ports");
        QWidget *focus = chooser->focusWidget() ? chooser->focusWidget() : chooser;
        if (step == QLatin1String("enter")) return QTest::keyClick(focus, Qt::Key_Return);
        if (step == QLatin1String("escape")) return QTest::keyClick(focus, Qt::Key_Escape);
        if (step.startsWith(QLatin1String("row "))) {
            list->setCurrentItem(list->topLevelItem(step.mid(4).toInt()));
            return QTest::mouseClick(child<QPushButton>(chooser, "open"), Qt::LeftButton);
        }
        if (step.startsWith(QLatin1String("type "))) {
            list->setCurrentItem(list->topLevelItem(list->topLevelItemCount() - 1));
            auto *other = child<QLineEdit>(chooser, "other");
            other->clear();
            QTest::keyClicks(other, step.mid(5));
            return QTest::keyClick(other, Qt::Key_Return);
        }
        QTest::mouseClick(child<QPushButton>(chooser, "quit"), Qt::LeftButton);
    }
};
} // namespace

class TestDevices : public QObject
{
    Q_OBJECT
    QTemporaryDir m_config;
    QTemporaryDir m_dir; // devices that do not exist

    QString missing(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase()
    {
        // The user's own settings are never read or written.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        QCoreApplication::setOrganizationName(QStringLiteral("projector-panel-test"));
        QCoreApplication::setApplicationName(QStringLiteral("projector-panel-test"));
    }
    void init() { QSettings().clear(); }

    void memory_data()
    {
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("expected");
        const QString usb = QStringLiteral("/dev/ttyUSB0"), acm = QStringLiteral("/dev/ttyACM0");
        QTest::newRow("nothing kept") << QString() << QString() << DeviceLink::defaultDevice(1);
        QTest::newRow("kept") << usb << QString() << usb;
        QTest::newRow("command line wins") << usb << acm << acm;
        QTest::newRow("command line alone") << QString() << acm << acm;
        QTest::newRow("blank kept")
            << QStringLiteral("  ") << QString() << DeviceLink::defaultDevice(1);
    }
    void memory()
    {
        QFETCH(QString, kept);
        QFETCH(QString, commandLine);
        if (!kept.isNull()) QSettings().setValue(QStringLiteral("devices/port1"), kept);
        DeviceMemory memory;
        QTEST(memory.deviceFor(1, commandLine), "expected");
        QCOMPARE(memory.deviceFor(2), DeviceLink::defaultDevice(2));
        memory.remember(1, QStringLiteral(" "));
        memory.remember(3, QStringLiteral("/dev/ttyUSB3"));
        QTEST(memory.deviceFor(1, commandLine), "expected");
    }

    void stableNames()
    {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("by-id")));
        const QString link =
            m_dir.filePath(QStringLiteral("by-id/usb-Maker_Adapter_A1-if00-port0"));
        QVERIFY(QFile::link(QStringLiteral("../ttyUSB1"), link));
        QVERIFY(
            QFile::link(QStringLiteral("../ttyUSB7"), m_dir.filePath(QStringLiteral("by-id/x"))));
        const Ports ports{{missing("ttyUSB0"), missing("ttyUSB0"), {}, {}, {}},
                          {missing("ttyUSB1"), missing("ttyUSB1"), {}, {}, {}}};
        const Ports named =
            PortList::withStableNames(ports, m_dir.filePath(QStringLiteral("by-id")));
        QCOMPARE(named[0].device, missing("ttyUSB0"));
        QCOMPARE(named[1].device, link);
        QCOMPARE(named[1].location, missing("ttyUSB1"));
        QCOMPARE(PortList::withStableNames(ports, missing("none"))[1].device, missing("ttyUSB1"));
    }

    void chooserList()
    {
        Ports found{{QStringLiteral("/dev/serial/by-id/usb-Maker_A1-if00-port0"),
                     QStringLiteral("/dev/ttyUSB0"), QStringLiteral("USB serial"),
                     QStringLiteral("Maker"), QStringLiteral("A1")},
                    {QStringLiteral("/dev/ttyS1"), QStringLiteral("/dev/ttyS1"), {}, {}, {}}};
        StartupChooser chooser([&] { return found; });
        auto *list = child<QTreeWidget>(&chooser, "ports");
        auto *open = child<QPushButton>(&chooser, "open");
        QCOMPARE(list->topLevelItemCount(), 3);
        const QTreeWidgetItem *first = list->topLevelItem(0);
        QCOMPARE((QStringList{first->text(0), first->text(1), first->text(2), first->text(3)}),
                 (QStringList{found[0].device, "USB serial", "Maker", "A1"}));
        QVERIFY(first->toolTip(0).contains(QLatin1String("/dev/ttyUSB0")));
        QCOMPARE(list->topLevelItem(1)->toolTip(0), QStringLiteral("/dev/ttyS1"));
        QCOMPARE(chooser.device(), found[0].device);
        QVERIFY(open->isEnabled() && child<QPushButton>(&chooser, "quit")->isDefault());

        // Other…: only a typed device opens, without the blanks around it.
        list->setCurrentItem(list->topLevelItem(2));
        auto *other = child<QLineEdit>(&chooser, "other");
        QVERIFY(other->isEnabled() && !open->isEnabled());
        other->setText(QStringLiteral("  "));
        QVERIFY(!open->isEnabled());
        other->setText(QStringLiteral(" rfc2217://host:2000 "));
        QCOMPARE(chooser.device(), QStringLiteral("rfc2217://host:2000"));
        QVERIFY(open->isEnabled());

        // An adapter plugged in meanwhile; the choice stays where it was.
        list->setCurrentItem(list->topLevelItem(1));
        found.prepend({QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyACM0"), {}, {}, {}});
        QTest::mouseClick(child<QPushButton>(&chooser, "refresh"), Qt::LeftButton);
        QCOMPARE(list->topLevelItemCount(), 4);
        QCOMPARE(chooser.device(), QStringLiteral("/dev/ttyS1"));
    }

    void startupChoice_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("shown");
        const QString pty = QStringLiteral("PTY"), wrong = QStringLiteral("type MISSING");
        QTest::newRow("quit") << QStringList{"quit"} << false << 1;
        QTest::newRow("enter quits") << QStringList{"enter"} << false << 1;
        QTest::newRow("escape quits") << QStringList{"escape"} << false << 1;
        QTest::newRow("a port found") << QStringList{"row 0"} << true << 1;
        QTest::newRow("a device typed") << QStringList{"type " + pty} << true << 1;
        QTest::newRow("a wrong guess, then a port") << QStringList{wrong, "row 0"} << true << 2;
        QTest::newRow("a wrong guess, then quit") << QStringList{wrong, "quit"} << false << 2;
    }
    void startupChoice()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, opens);
        Pty pty;
        steps.replaceInStrings(QStringLiteral("PTY"), pty.device());
        steps.replaceInStrings(QStringLiteral("MISSING"), missing("ttyUSB8"));
        DeviceMemory memory;
        memory.remember(1, missing("ttyUSB9"));
        DeviceLink link(memory.deviceFor(1), missing("ttyUSB2"));
        VirtualClock clock;
        Panel panel(link, clock.factory());
        QVERIFY(!panel.load());

        Operator person;
        person.steps = steps;
        qApp->installEventFilter(&person);
        const Ports found{{pty.device(), pty.device(), QStringLiteral("pseudo-terminal"), {}, {}}};
        std::optional<bool> opened;
        StartupChooser::openPortOne(
            panel, link, memory, [&] { return found; }, QStringLiteral("caption"),
            [&](bool result) { opened = result; });
        QTRY_VERIFY(opened.has_value());
        qApp->removeEventFilter(&person);

        QCOMPARE(*opened, opens);
        QTEST(person.shown, "shown");
        // Only a device that opened is kept; Quit leaves the failure for the report.
        QCOMPARE(memory.remembered(1), opens ? pty.device() : missing("ttyUSB9"));
        if (!opens) {
            QVERIFY(link.errorString().contains(person.shown == 1 ? missing("ttyUSB9")
                                                                  : missing("ttyUSB8")));
            return;
        }
        QVERIFY(panel.activate(QLatin1StringView("Command17")));
        QCOMPARE(pty.read(4), QByteArray("C00\r"));
    }

    void contextMenu_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("works");
        QTest::newRow("port in use") << 1 << true;
        QTest::newRow("the other port") << 2 << true;
        QTest::newRow("port in use, a missing device") << 1 << false;
        QTest::newRow("the other port, a missing device") << 2 << false;
    }
    // A choice is kept for later runs once it has opened, as the chooser's is.
    void contextMenu()
    {
        QFETCH(int, port);
        QFETCH(bool, works);
        Pty one, two, adapter;
        const QString device = works ? adapter.device() : missing("ttyUSB5");
        DeviceLink link(one.device(), two.device());
        VirtualClock clock;
        Panel panel(link, clock.factory());
        Form1 form(panel);
        QStringList warnings;
        form.setWarningBox([&](const QString &, const QString &text) { warnings << text; });
        DeviceMemory memory;
        const Ports found{{device, device, QStringLiteral("USB serial"), {}, {}}};
        DeviceMenu menu(form, panel, link, memory, [&] { return found; });
        QVERIFY(panel.load());
        QTest::mouseClick(child<QPushButton>(&form, "Command33"), Qt::LeftButton, {}, {4, 4});

        auto *option = child<QRadioButton>(&form, port == 1 ? "Option1" : "Option2");
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(4, 4),
                                option->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(option, &click);
        auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(popup);
        QAction *choice = nullptr;
        for (QAction *a : popup->actions())
            if (a->data().toString() == device) choice = a;
        QVERIFY(choice && !choice->isChecked());
        QVERIFY(popup->findChild<QAction *>(QStringLiteral("other")));
        choice->trigger();
        popup->close();

        QCOMPARE(link.device(port), device);
        QCOMPARE(option->text(), QStringLiteral("COM%1").arg(port));
        QVERIFY(option->toolTip().contains(device));
        // The other port is tried when it is chosen with COM2.
        if (port == 2) {
            QVERIFY(memory.remembered(2).isEmpty());
            panel.ports().selectPort(2);
        }
        QCOMPARE(memory.remembered(port), works ? device : QString());
        QCOMPARE(warnings.size(), works ? 0 : 1);
        if (!works) {
            QVERIFY(warnings[0].contains(device));
            return;
        }
        QVERIFY(panel.activate(QLatin1StringView("Command17")));
        QCOMPARE(adapter.read(4), QByteArray("C00\r"));
    }
};

QTEST_MAIN(TestDevices)
#include "tst_devices.moc"
