// SPDX-License-Identifier: MIT
// Start-up port steps, port switch, speed change, the settings panel and END, on a fake link.
#include "PanelRig.h"

#include <QTest>

using namespace std::chrono_literals;

class PortControlTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUpOpensClosesOpens()
    {
        PanelRig r(false);
        QVERIFY(r.panel.load());
        QCOMPARE(r.link.operations, (QStringList{"port 1", "settings 19200,N,8,1", "open 1",
                                                 "close", "port 1", "open 1"}));
        QVERIFY(r.link.isOpen());
        QCOMPARE(r.panel.ports().commSettings(), QStringLiteral("19200,N,8,1"));
        QCOMPARE(r.panel.ports().selectedPort(), 1);
        QVERIFY(!r.panel.ports().settingsVisible());
        QVERIFY(r.warnings.isEmpty());
        QVERIFY(!r.panel.timer1().isActive() && !r.panel.timer2().isActive() &&
                !r.panel.timer3().isActive() && !r.panel.timer4().isActive());
    }

    void startUpWithPortOneMissing()
    {
        PanelRig r(false);
        r.link.missingPorts = {1};
        QVERIFY(!r.panel.load());
        QVERIFY(r.link.errorString().contains(QLatin1String("fake1")));
        QVERIFY(!r.link.isOpen());
        QVERIFY(r.warnings.isEmpty()); // reported by the program, not as a box of the window
    }

    void switchToThePortInUse()
    {
        PanelRig r;
        r.panel.ports().showSettings();
        r.link.operations.clear();
        r.panel.ports().selectPort(1);
        QCOMPARE(r.link.operations, (QStringList{"close", "port 1", "open 1"}));
        QVERIFY(!r.panel.ports().settingsVisible());
    }

    void switchToTheOtherPort()
    {
        PanelRig r;
        r.panel.ports().showSettings();
        r.panel.ports().selectPort(2);
        QVERIFY(r.link.isOpen());
        QCOMPARE(r.link.portNumber(), 2);
        QVERIFY(!r.panel.ports().settingsVisible());
        r.click("Command17");
        QCOMPARE(r.link.written(), QByteArray("C00\r"));
    }

    void failedSwitchAndTheRetry()
    {
        PanelRig r;
        r.link.missingPorts = {2};
        r.panel.ports().showSettings();
        r.panel.ports().selectPort(2);
        QCOMPARE(r.warnings.size(), 1);
        QVERIFY(r.warnings.first().contains(QLatin1String("fake2")));
        QVERIFY(!r.link.isOpen());
        QCOMPARE(r.link.portNumber(), 1); // fell back to the other port
        QCOMPARE(r.panel.ports().selectedPort(), 2);
        QVERIFY(r.panel.ports().settingsVisible());

        // A click meanwhile reports the closed port instead of ending the program.
        r.click("Command17");
        QCOMPARE(r.failures.size(), 1);

        // Choosing port 1 opens it again (the switch no longer leaves it closed for good).
        r.panel.ports().selectPort(1);
        QCOMPARE(r.warnings.size(), 1);
        QVERIFY(r.link.isOpen());
        QCOMPARE(r.link.portNumber(), 1);
        QVERIFY(!r.panel.ports().settingsVisible());
        r.click("Command17");
        QCOMPARE(r.link.written(), QByteArray("C00\r"));

        // Port 2 back: the switch succeeds.
        r.link.missingPorts.clear();
        r.panel.ports().selectPort(2);
        QVERIFY(r.link.isOpen());
        QCOMPARE(r.link.portNumber(), 2);
    }

    void failedSwitchFallsBackEveryTime_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("to port 2") << 2;
        QTest::newRow("to port 1") << 1;
    }
    void failedSwitchFallsBackEveryTime()
    {
        QFETCH(int, port);
        PanelRig r;
        r.panel.ports().selectPort(3 - port);
        r.link.missingPorts = {port};
        r.panel.ports().selectPort(port);
        r.panel.ports().selectPort(port);
        QCOMPARE(r.warnings.size(), 2);
        QCOMPARE(r.link.portNumber(), 3 - port);
        QCOMPARE(r.panel.ports().selectedPort(), port);
        QVERIFY(!r.link.isOpen());
    }

    void speedChangeOnAnOpenPort()
    {
        PanelRig r;
        r.panel.ports().showSettings();
        r.link.operations.clear();
        r.panel.ports().selectSpeed(QStringLiteral("9600,N,8,1"));
        QCOMPARE(r.link.operations, QStringList{"settings 9600,N,8,1"}); // not closed, not reopened
        QVERIFY(r.link.isOpen());
        QVERIFY(!r.panel.ports().settingsVisible());
        QCOMPARE(r.panel.ports().commSettings(), QStringLiteral("9600,N,8,1"));
        r.panel.ports().selectPort(2);
        QCOMPARE(r.link.settings, QStringLiteral("9600,N,8,1"));
        QVERIFY(r.link.isOpen());
    }

    void panelHidesAfter5000ms()
    {
        PanelRig r;
        r.at(1000);
        r.panel.ports().showSettings();
        r.at(5999);
        QVERIFY(r.panel.ports().settingsVisible());
        r.at(6000);
        QVERIFY(!r.panel.ports().settingsVisible());
        QVERIFY(!r.panel.timer3().isActive());
    }

    void choiceHidesAtOnceAndTimerStopsLater()
    {
        PanelRig r;
        r.panel.ports().showSettings();
        r.at(1000);
        r.panel.ports().selectSpeed(QStringLiteral("19200,N,8,1"));
        QVERIFY(!r.panel.ports().settingsVisible());
        QVERIFY(r.panel.timer3().isActive());
        r.at(5000);
        QVERIFY(!r.panel.timer3().isActive());
        QVERIFY(!r.panel.ports().settingsVisible());
    }

    void toggleStartsTheHidingTimerWithThePanelClosed()
    {
        PanelRig r;
        r.click("Command34"); // the data-area toggle
        r.at(4999);
        QVERIFY(r.panel.timer3().isActive());
        r.at(5000);
        QVERIFY(!r.panel.timer3().isActive());
        QVERIFY(!r.panel.ports().settingsVisible());
    }

    // An open that is still connecting: the step is handled at once, and its outcome when the
    // link reports it; input meanwhile is never held back.
    void connectingOpen_data()
    {
        QTest::addColumn<bool>("atStart");
        QTest::addColumn<QString>("then");
        QTest::addColumn<QStringList>("events"); // started, start failed, warning, quit
        QTest::addColumn<int>("port");           // the port number afterwards
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("start, made")
            << true << "made" << QStringList{"started"} << 1 << QByteArray("C00\r");
        QTest::newRow("start, failed")
            << true << "failed" << QStringList{"start failed"} << 1 << QByteArray();
        QTest::newRow("switch, made")
            << false << "made" << QStringList{} << 2 << QByteArray("C00\r");
        QTest::newRow("switch, failed")
            << false << "failed" << QStringList{"warning"} << 1 << QByteArray();
        QTest::newRow("switch, END meanwhile")
            << false << "END" << QStringList{"quit"} << 2 << QByteArray();
        QTest::newRow("switch, chosen again meanwhile")
            << false << "chosen again" << QStringList{} << 1 << QByteArray("C00\r");
    }
    void connectingOpen()
    {
        QFETCH(bool, atStart);
        QFETCH(QString, then);
        QFETCH(QStringList, events);
        PanelRig r(!atStart);
        QStringList seen;
        PortControl &ports = r.panel.ports();
        connect(&ports, &PortControl::started, this, [&] { seen << "started"; });
        connect(&ports, &PortControl::startFailed, this, [&] { seen << "start failed"; });
        connect(&ports, &PortControl::warning, this, [&] { seen << "warning"; });
        connect(&ports, &PortControl::quitRequested, this, [&] { seen << "quit"; });
        r.link.connects = true;
        if (atStart) {
            QVERIFY(r.panel.load());
            QVERIFY(ports.isStarting());
        } else {
            ports.showSettings();
            ports.selectPort(2);
            QVERIFY(!ports.settingsVisible()); // as on success, at once
            r.click("Command17");              // waits in the link, no failure
        }
        QVERIFY(r.link.isConnecting() && seen.isEmpty() && r.failures.isEmpty());
        r.link.connects = false;
        if (then == "made") r.link.finishConnect();
        if (then == "failed") r.link.failConnect();
        if (then == "END") ports.end();
        if (then == "chosen again") ports.selectPort(1);
        // Not caused by the port steps: not theirs to report.
        Q_EMIT r.link.openFailed(r.link.failure());
        QCOMPARE(seen, events);
        QVERIFY(!ports.isStarting());
        QTEST(r.link.portNumber(), "port");
        if (atStart && then == "made") r.click("Command17"); // the window is shown now
        if (then == "chosen again") r.click("Command17");
        QTEST(r.link.written(), "sent");
    }

    void endClosesAndQuits()
    {
        for (bool closedBefore : {false, true}) {
            PanelRig r;
            int quits = 0;
            QObject::connect(&r.panel.ports(), &PortControl::quitRequested, &r.panel,
                             [&] { ++quits; });
            if (closedBefore) r.link.close();
            r.panel.ports().end();
            QVERIFY(!r.link.isOpen());
            QCOMPARE(quits, 1);
        }
    }
};

QTEST_GUILESS_MAIN(PortControlTest)
#include "tst_portcontrol.moc"
