// SPDX-License-Identifier: MIT
// projector-ctl as a script or a crontab runs it: the real program on the real simulator, or on
// a pseudo-terminal where the test plays the device.
#include "CommandNames.h"
#include "Pty.h"
#include "SimProcess.h"
#include "TrafficLogFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <csignal>
#include <cstring>

namespace {

struct Run
{
    int exitCode = -1;
    QString out, err;
};

// `meanwhile` runs while the program does; each command takes a 500 ms reply window.
Run ctl(const QString &device, const QStringList &args,
        const std::function<void(QProcess &)> &meanwhile = {})
{
    QProcess p;
    p.start(QStringLiteral(PROJECTOR_CTL_PATH), QStringList{"--device", device} + args);
    p.waitForStarted(SimProcess::Patience);
    if (meanwhile) meanwhile(p);
    Run r;
    if (!p.waitForFinished(int(args.size()) * 2000 + 10000)) return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

class CtlTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyNameSendsItsCode()
    {
        QStringList names;
        QByteArrayList codes;
        const Run help = ctl({}, {QStringLiteral("--help")});
        for (const NamedCommand &c : namedCommands()) {
            QVERIFY2(!c.name.isEmpty() && !names.contains(c.name), qPrintable(c.name));
            names << c.name;
            codes << QByteArray(c.code.data(), c.code.size());
            const QRegularExpression listed(QStringLiteral("\n  %1 +%2\n").arg(c.name, c.code));
            QVERIFY2(listed.match(help.out).hasMatch(), qPrintable(c.name));
        }
        SimProcess sim;
        QVERIFY2(sim.start({}), sim.errors().constData());
        const Run r = ctl(sim.device(), names);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(sim.lines(), codes);
        QCOMPARE(r.out.count(u'\n'), codes.size());
    }

    void replies_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("status"); // empty: null
        QTest::addColumn<int>("exitCode");
        const auto row = [](const char *tag, QStringList sim, const char *name, const char *reply,
                            const char *status, int exitCode = 0) {
            QTest::newRow(tag) << sim << QString::fromLatin1(name) << QString::fromLatin1(reply)
                               << QString::fromLatin1(status) << exitCode;
        };
        row("stand by", {}, "status", " 8 0 CR ", " Stand by");
        row("key lock", {"--fault", "keylock"}, "CR0", " 0 2 CR ", " Key input prohibition");
        row("input", {"--input", "2"}, "input", " 2 CR ", " Computer 2");
        row("lamp", {"--hours", "1234"}, "lamp-hours", " 1 2 3 4 CR ", " 1 2 3 4 Hour Use");
        row("mirror", {"--orientation", "10"}, "mirror", " 1 0 CR ", " Top/Bottom reversal");
        row("no status", {}, "power-on", " ACK CR ", "");
        row("silent", {"--silent"}, "status", " X X X X", "", 3);
    }

    void replies()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, name);
        QFETCH(QString, reply);
        QFETCH(QString, status);
        QFETCH(int, exitCode);
        SimProcess sim;
        QVERIFY2(sim.start(simArgs), sim.errors().constData());
        const Run r = ctl(sim.device(), {QStringLiteral("--json"), name});
        QCOMPARE(r.exitCode, exitCode);
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(r.out));
        QCOMPARE(o.value(u"code").toString(), QString(findCommand(name)->code));
        QCOMPARE(o.value(u"name").toString(), findCommand(name)->name);
        QCOMPARE(o.value(u"reply").toString(), reply);
        QCOMPARE(o.value(u"status"), status.isEmpty() ? QJsonValue() : QJsonValue(status));
        QCOMPARE(o.value(u"replied"), QJsonValue(exitCode == 0));
    }

    // Nothing reaches the device; the one line on stderr names what is wrong.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("culprit");
        QTest::newRow("unknown name") << QStringList{"power-on", "power-onn"} << 2 << "power-onn";
        QTest::newRow("speed") << QStringList{"--speed", "4800", "status"} << 2 << "4800";
        QTest::newRow("option") << QStringList{"--baud", "9600", "status"} << 2 << "baud";
        QTest::newRow("no command") << QStringList{} << 2 << "no command";
        QTest::newRow("missing device") << QStringList{"--device", absentDevice(), "status"} << 1
                                        << "(" + absentDevice() + "): the device does not exist";
    }

    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, culprit);
        Pty pty;
        QVERIFY(pty.ok());
        const Run r = ctl(pty.device(), args); // a second --device wins
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.err.count(u'\n'), 1);
        QVERIFY2(r.err.contains(culprit), qPrintable(r.err));
        QVERIFY2(exitCode != 2 || r.err.contains(QLatin1String("Try --help")), qPrintable(r.err));
        QCOMPARE(pty.read(1, std::chrono::milliseconds(50)), QByteArray());
    }

    // The next program on the line finds it as it was, also after an interruption; nothing but
    // the command lines is written.
    void lineIsLeftAsFound_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("finished") << 0;
        QTest::newRow("terminated") << int(SIGTERM);
    }

    void lineIsLeftAsFound()
    {
        QFETCH(int, signal);
        Pty pty;
        QVERIFY(pty.ok());
        termios before, after; // compared whole, padding included
        std::memset(&before, 0, sizeof before);
        std::memset(&after, 0, sizeof after);
        QCOMPARE(tcgetattr(pty.slave(), &before), 0);
        const QStringList args =
            QStringList{"--speed", "9600"} + QStringList(signal ? 20 : 1, "status");
        const Run r = ctl(pty.device(), args, [&](QProcess &p) {
            QCOMPARE(pty.read(4, std::chrono::milliseconds(SimProcess::Patience)),
                     QByteArray("CR0\r"));
            if (signal) ::kill(pid_t(p.processId()), signal);
        });
        QCOMPARE(r.exitCode, signal ? 128 + signal : 3);
        QCOMPARE(tcgetattr(pty.slave(), &after), 0);
        QVERIFY(std::memcmp(&after, &before, sizeof before) == 0);
        QCOMPARE(pty.read(1, std::chrono::milliseconds(50)), QByteArray());
    }

    void logsTheTraffic_data()
    {
        QTest::addColumn<QString>("log"); // empty: a new file, whose lines are checked
        QTest::newRow("file") << QString();
        QTest::newRow("no such folder") << QStringLiteral("/nonexistent/folder/traffic.log");
        QTest::newRow("full disk") << QStringLiteral("/dev/full");
    }

    void logsTheTraffic()
    {
        QFETCH(QString, log);
        SimProcess sim;
        QVERIFY2(sim.start({}), sim.errors().constData());
        QTemporaryDir dir;
        const QString file = log.isEmpty() ? dir.filePath(QStringLiteral("traffic.log")) : log;
        const Run r = ctl(sim.device(), {QStringLiteral("--log"), file, "status", "power-on"});
        // Control goes on whatever becomes of the log.
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("CR0   8 0 CR   Stand by\nC00   ACK CR \n"));
        if (!log.isEmpty()) {
            QCOMPARE(r.err.count(u'\n'), 1);
            QVERIFY2(r.err.contains(log), qPrintable(r.err));
            return;
        }
        const QString d = sim.device();
        QCOMPARE(
            trafficLogEntries(file),
            (QStringList{"port 1  speed 19200,N,8,1", "port 1  opened " + d + " 19200,N,8,1",
                         "port 1  TX   C R 0 CR ", "port 1  RX   8 0 CR   Stand by",
                         "port 1  TX   C 0 0 CR ", "port 1  RX   ACK CR ", "port 1  closed " + d}));
    }
};

QTEST_GUILESS_MAIN(CtlTest)
#include "tst_ctl.moc"
