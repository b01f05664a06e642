// SPDX-License-Identifier: MIT
// The traffic log on the panel's core, a fake link and virtual time.
#include "PanelRig.h"
#include "TrafficLog.h"
#include "TrafficLogFile.h"
#include "Translations.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

class TrafficLogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // As both programs do: a pipe whose reader has gone fails a write instead of killing.
    void initTestCase() { std::signal(SIGPIPE, SIG_IGN); }

    // In English whatever the operator's language, the reason for a loss too.
    void everyKindOfLine()
    {
        QLocale::setDefault(QLocale(QLocale::Japanese));
        QVERIFY(Translations::install());
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
        // Another program's line through projectord.
        Q_EMIT rig.link.sharedLineSent("CR0\r", QStringLiteral("projector-ctl[4321]"));
        rig.click("Command46");
        rig.link.receive("0123\r");
        rig.at(2000);
        rig.panel.ports().selectSpeed(QString::fromLatin1(Settings9600));
        rig.link.lineNotSettable = true; // as a raw TCP device: nothing claimed
        rig.panel.ports().selectSpeed(QString::fromLatin1(Settings19200));
        rig.link.lineNotSettable = false;
        rig.link.unplug();
        rig.link.replug();
        rig.panel.ports().selectPort(2);
        // A port that cannot be had is in the log as well as in the box.
        rig.link.missingPorts = {1};
        rig.panel.ports().selectPort(1);

        QCOMPARE(trafficLogEntries(path),
                 (QStringList{
                     "port 1  speed 19200,N,8,1",
                     "port 1  opened fake1 19200,N,8,1",
                     "port 1  closed fake1",
                     "port 1  opened fake1 19200,N,8,1",
                     "port 1  TX   C R 0 CR ",
                     "port 1  RX   0 ",
                     "port 1  RX   0 CR   Power ON",
                     "port 1  TX   C 0 0 CR ",
                     "port 1  --  no reply",
                     "port 1  other TX   C R 0 CR  by projector-ctl[4321]",
                     "port 1  TX   C R 3 CR ",
                     "port 1  RX   0 1 2 3 CR   0 1 2 3 Hour Use",
                     "port 1  speed 9600,N,8,1",
                     "port 1  speed 19200,N,8,1 not set: serial port 1 (fake1) is a raw TCP "
                     "device: the line settings cannot be set from here, and the device "
                     "server's own settings apply.",
                     "port 1  lost fake1: The device of serial port 1 (fake1) has gone away.",
                     "port 1  restored fake1 9600,N,8,1",
                     "port 1  closed fake1",
                     "port 2  opened fake2 9600,N,8,1",
                     "port 2  closed fake2",
                     "port 1  not opened fake1: Cannot open serial port 1 (fake1): the device "
                     "does not exist.",
                 }));
    }

    // Another client's status reads on a shared line, as projectord passes them on: its line
    // and the reply come as separate signals, in either order, the reply in any pieces, and
    // the next line while this panel's window for the last one is still open. Each step is
    // "MS other LINE", "MS rx BYTES" or "MS click BUTTON"; `shown` is "RXD|STATUS" at the end.
    void sharedLineReads_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<QString>("shown");
        const QString cr0 = QStringLiteral("other TX   C R 0 CR  by projectord");
        const QString cr1 = QStringLiteral("other TX   C R 1 CR  by projectord");
        QTest::newRow("line, then reply")
            << QStringList{"0 other CR0\r", "30 rx 00\r"}
            << QStringList{cr0, "RX   0 0 CR   Power ON"} << " 0 0 CR | Power ON";
        QTest::newRow("reply, then line")
            << QStringList{"0 rx 00\r", "5 other CR0\r"}
            << QStringList{"RX   0 0 CR ", cr0, "reply   0 0 CR   Power ON"}
            << " 0 0 CR | Power ON";
        QTest::newRow("one byte at a time, around the line")
            << QStringList{"0 rx 0", "5 other CR0\r", "6 rx 0", "7 rx \r"}
            << QStringList{"RX   0 ", cr0, "reply   0 ", "RX   0   Power ON", "RX   CR "}
            << " 0 0 CR | Power ON";
        QTest::newRow("back to back")
            << QStringList{"0 other CR4\r", "30 rx 00\r", "480 other CR3\r", "510 rx 0123\r"}
            << QStringList{"other TX   C R 4 CR  by projectord",
                           "RX   0 0 CR   Top/Bottom , Left/Right reversal",
                           "other TX   C R 3 CR  by projectord",
                           "RX   0 1 2 3 CR   0 1 2 3 Hour Use"}
            << " 0 1 2 3 CR | 0 1 2 3 Hour Use";
        QTest::newRow("back to back, the second reply first")
            << QStringList{"0 other CR0\r", "30 rx 00\r", "480 rx 1", "481 rx \r",
                           "490 other CR1\r"}
            << QStringList{cr0, "RX   0 0 CR   Power ON",   "RX   1 ", "RX   CR ",
                           cr1, "reply   1 CR   Computer 1"}
            << " 1 CR | Computer 1";
        QTest::newRow("unanswered, then answered")
            << QStringList{"0 other CR0\r", "480 other CR1\r", "500 rx 3\r"}
            << QStringList{cr0, "--  no reply", cr1, "RX   3 CR   Video"} << " 3 CR | Video";
        QTest::newRow("reply after the window, then its line")
            << QStringList{"0 other CR0\r", "30 rx 00\r", "600 rx 2\r", "601 other CR1\r"}
            << QStringList{cr0, "RX   0 0 CR   Power ON", "RX   2 CR ", cr1,
                           "reply   2 CR   Computer 2"}
            << " 2 CR | Computer 2";
        QTest::newRow("own read, then another's")
            << QStringList{"0 click Command44", "30 rx 80\r", "300 other CR1\r", "330 rx 1\r"}
            << QStringList{"TX   C R 0 CR ", "RX   8 0 CR   Stand by", cr1,
                           "RX   1 CR   Computer 1"}
            << " 1 CR | Computer 1";
    }
    void sharedLineReads()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, logged);
        QFETCH(QString, shown);
        PanelRig rig;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("traffic.log"));
        TrafficLog log(rig.panel.exchange(), rig.link);
        QVERIFY(log.open(path));
        for (const QString &step : steps) {
            const QStringList f = step.split(u' ');
            rig.at(f.at(0).toLongLong());
            const QByteArray text = f.at(2).toLatin1();
            if (f.at(1) == u"click")
                rig.click(text.constData());
            else if (f.at(1) == u"rx")
                rig.link.receive(text);
            else
                Q_EMIT rig.link.sharedLineSent(text, QStringLiteral("projectord"));
        }
        QStringList entries = trafficLogEntries(path);
        for (QString &e : entries) e.remove(QStringLiteral("port 1  "));
        QCOMPARE(entries, logged);
        QCOMPARE(rig.display(Exchange::Display::Rxd) + u'|' +
                     rig.display(Exchange::Display::Status),
                 shown);
    }

    // Reported once, typed, and control goes on; nothing waits for a reader.
    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<TrafficLogFailure::What>("what");
        QTest::addColumn<int>("systemError");
        QTest::newRow("no such folder") << "folder" << TrafficLogFailure::What::Open << ENOENT;
        QTest::newRow("FIFO without a reader") << "fifo" << TrafficLogFailure::What::Open << ENXIO;
        QTest::newRow("reader gone") << "pipe" << TrafficLogFailure::What::Write << EPIPE;
        QTest::newRow("full disk") << "full" << TrafficLogFailure::What::Write << ENOSPC;
    }
    void failures()
    {
        QFETCH(QString, kind);
        QFETCH(TrafficLogFailure::What, what);
        QFETCH(int, systemError);
        QTemporaryDir dir;
        QString path = kind == u"full" ? QStringLiteral("/dev/full")
                                       : dir.filePath(QStringLiteral("missing/traffic.log"));
        int pipeEnds[2] = {-1, -1};
        if (kind == u"fifo") {
            path = dir.filePath(QStringLiteral("fifo"));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"pipe") {
            QCOMPARE(::pipe(pipeEnds), 0);
            path = QStringLiteral("/proc/self/fd/%1").arg(pipeEnds[1]);
        }
        PanelRig rig;
        TrafficLog log(rig.panel.exchange(), rig.link);
        QSignalSpy failed(&log, &TrafficLog::failed);
        QVERIFY(failed.isValid());
        QCOMPARE(log.open(path), what == TrafficLogFailure::What::Write);
        if (kind == u"pipe") {
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
        }
        rig.click("Command17");
        rig.at(600);
        rig.click("Command18");
        QCOMPARE(rig.link.lines(), (QList<QByteArray>{"C00\r", "C02\r"}));
        QVERIFY(!log.isOpen());
        QCOMPARE(failed.size(), 1);
        const auto failure = failed.first().first().value<TrafficLogFailure>();
        QCOMPARE(failure, (TrafficLogFailure{what, path, systemError}));
        QVERIFY2(failure.text().contains(path), qPrintable(failure.text()));
    }
};

QTEST_GUILESS_MAIN(TrafficLogTest)
#include "tst_trafficlog.moc"
