// SPDX-License-Identifier: MIT
// The traffic log on the panel's core, a fake link and virtual time.
#include "PanelRig.h"
#include "TrafficLog.h"
#include "TrafficLogFile.h"

#include <QTemporaryDir>

class TrafficLogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyKindOfLine()
    {
        PanelRig rig(false);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("traffic.log"));
        TrafficLog log(rig.panel.exchange(), rig.link);
        QVERIFY(log.open(path));
        QVERIFY(rig.panel.load());

        rig.click("Command44"); // a status read answered in two stretches
        rig.at(10);
        rig.link.receive("0");
        rig.at(20);
        rig.link.receive("0\r");
        rig.at(600);
        rig.click("Command17"); // unanswered
        rig.at(1100);
        rig.click("Command46");
        rig.link.receive("0123\r");
        rig.at(2000);
        rig.panel.ports().selectSpeed(QString::fromLatin1(Settings9600));
        rig.link.unplug(QStringLiteral("Input/output error"));
        rig.link.replug();
        rig.panel.ports().selectPort(2);

        QCOMPARE(trafficLogEntries(path), (QStringList{
                                              "port 1  speed 19200,N,8,1",
                                              "port 1  opened fake1 19200,N,8,1",
                                              "port 1  closed fake1",
                                              "port 1  opened fake1 19200,N,8,1",
                                              "port 1  TX   C R 0 CR ",
                                              "port 1  RX   0 ",
                                              "port 1  RX   0 CR   Power ON",
                                              "port 1  TX   C 0 0 CR ",
                                              "port 1  --  no reply",
                                              "port 1  TX   C R 3 CR ",
                                              "port 1  RX   0 1 2 3 CR   0 1 2 3 Hour Use",
                                              "port 1  speed 9600,N,8,1",
                                              "port 1  lost fake1 (Input/output error)",
                                              "port 1  restored fake1 9600,N,8,1",
                                              "port 1  closed fake1",
                                              "port 2  opened fake2 9600,N,8,1",
                                          }));
    }
};

QTEST_GUILESS_MAIN(TrafficLogTest)
#include "tst_trafficlog.moc"
