// SPDX-License-Identifier: MIT
// projector-ctl as a script or a crontab runs it: the real program on the real simulator, or on
// a pseudo-terminal where the test plays the device.
#include "ButtonTables.h"
#include "Commands.h"
#include "CtlOptions.h"
#include "DbusDaemon.h"
#include "ProjectordProcess.h"
#include "Pty.h"
#include "Ser2Net.h"
#include "ServiceNames.h"
#include "SimProcess.h"
#include "TrafficLogFile.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QString out, err;
};

using Step = std::function<void(QProcess &)>;

// In the operator's language, as started from a shell.
Step inLanguage(const char *language)
{
    return [language](QProcess &p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANGUAGE"), QLatin1String(language));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        p.setProcessEnvironment(env);
    };
}

// `before` sets the process up, `meanwhile` runs while the program does; each command takes a
// 500 ms reply window. A null device gives no --device.
Run ctl(const QString &device, const QStringList &args, const Step &meanwhile = {},
        const Step &before = inLanguage("en"))
{
    QProcess p;
    before(p);
    // A step may have chosen another copy of the program.
    p.start(p.program().isEmpty() ? QStringLiteral(PROJECTOR_CTL_PATH) : p.program(),
            (device.isNull() ? QStringList() : QStringList{"--device", device}) + args);
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
    // The names are an interface: scripts and crontabs are written with them. Written out here,
    // so that no change elsewhere renames one silently.
    void namesAreFrozen()
    {
        const QList<std::pair<QString, QByteArray>> frozen = {
            {"power-on", "C00"},
            {"power-off", "C02"},
            {"input-pc-1", "C05"},
            {"input-pc-2", "C06"},
            {"input-video", "C07"},
            {"menu-on", "C1C"},
            {"menu-off", "C1D"},
            {"audio-mute-on", "C0B"},
            {"audio-mute-off", "C0C"},
            {"video-mute-on", "C0D"},
            {"video-mute-off", "C0E"},
            {"freeze-on", "C43"},
            {"freeze-off", "C44"},
            {"screen-mode-normal", "C0F"},
            {"screen-mode-wide", "C10"},
            {"zoom-adjustment-mode", "C80"},
            {"focus-adjustment-mode", "C87"},
            {"auto-image-adjustment", "C89"},
            {"presentation-timer", "C8A"},
            {"picture-back-to-normal", "C1F"},
            {"clear-the-on-screen-display", "C1E"},
            {"status", "CR0"},
            {"input", "CR1"},
            {"lamp-hours", "CR3"},
            {"mirror", "CR4"},
            {"send-c01", "C01"},
            {"volume-up", "C09"},
            {"volume-down", "C0A"},
            {"zoom-in", "C47"},
            {"zoom-out", "C46"},
            {"focus-plus", "C4B"},
            {"focus-minus", "C4A"},
            {"digital-zoom-in", "C30"},
            {"digital-zoom-out", "C31"},
            {"keystone-plus", "C8E"},
            {"keystone-minus", "C8F"},
            {"select", "C3F"},
            {"cursor-up", "C3C"},
            {"cursor-down", "C3D"},
            {"cursor-left", "C3B"},
            {"cursor-right", "C3A"},
        };
        QStringList names;
        QByteArrayList codes;
        for (const auto &[name, code] : frozen) names << name, codes << code;
        // Every button of the panel has a name.
        QByteArrayList buttons;
        for (const OneShotButton &b : OneShotButtons) buttons << b.code;
        for (const HoldButton &b : HoldButtons) buttons << b.code;
        QCOMPARE(buttons, codes);

        // --help lists them in the operator's language, in this order.
        const Run help = ctl({}, {QStringLiteral("--help")}, {}, inLanguage("ja"));
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.contains(QStringLiteral("終了ステータス")), qPrintable(help.out));
        QStringList listed;
        static const QRegularExpression row(QStringLiteral("^  ([a-z0-9-]+) +(C[0-9A-Z]{2})$"),
                                            QRegularExpression::MultilineOption);
        for (auto m = row.globalMatch(help.out); m.hasNext();) {
            const auto match = m.next();
            listed << match.captured(1);
            QCOMPARE(match.captured(2).toLatin1(), codes.at(listed.size() - 1));
        }
        QCOMPARE(listed, names);

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
        QTest::addColumn<QJsonObject>("decoded"); // the state as data, and nothing else
        const auto row = [](const char *tag, QStringList sim, const char *name, const char *reply,
                            const char *status, QJsonObject decoded = {}, int exitCode = 0) {
            QTest::newRow(tag) << sim << QString::fromLatin1(name) << QString::fromLatin1(reply)
                               << QString::fromLatin1(status) << exitCode << decoded;
        };
        row("stand by", {}, "status", " 8 0 CR ", " Stand by", {{"power", "standby"}});
        row("key lock", {"--fault", "keylock"}, "CR0", " 0 2 CR ", " Key input prohibition",
            {{"power", "key-lock"}});
        row("input", {"--input", "2"}, "input", " 2 CR ", " Computer 2", {{"input", "computer-2"}});
        row("lamp", {"--hours", "1234"}, "lamp-hours", " 1 2 3 4 CR ", " 1 2 3 4 Hour Use",
            {{"lamp_hours", 1234}});
        row("mirror", {"--orientation", "10"}, "mirror", " 1 0 CR ", " Top/Bottom reversal",
            {{"orientation", "top-bottom-reversed"}});
        row("no status", {}, "power-on", " ACK CR ", "");
        row("silent", {"--silent"}, "status", " X X X X", "", {}, 3);
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
        QFETCH(QJsonObject, decoded);
        for (const char *key : {"power", "input", "lamp_hours", "orientation"})
            QCOMPARE(o.value(QLatin1String(key)), decoded.value(QLatin1String(key)));
    }

    // Nothing reaches the device; the one line on stderr names what is wrong.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("culprit");
        QTest::addColumn<QByteArray>("language");
        const auto row = [](const char *tag, const QStringList &args, int exitCode,
                            const QString &culprit, const char *language = "en") {
            QTest::newRow(tag) << args << exitCode << culprit << QByteArray(language);
        };
        row("unknown name", {"power-on", "power-onn"}, 2, "\"power-onn\"");
        row("speed", {"--speed", "4800", "status"}, 2, "4800");
        row("option", {"--baud", "9600", "status"}, 2, "'--baud'");
        row("no command", {}, 2, "no command");
        // An option is not taken for the device's name.
        row("option as device", {"--device", "--json", "status"}, 2, "\"--json\"");
        row("empty device", {"--device", "", "status"}, 2, "expected a device");
        row("empty log", {"--log", "", "status"}, 2, "expected a file");
        row("no port", {"--device", "rfc2217://127.0.0.1", "status"}, 2, "no port number");
        row("bad host", {"--device", "socket://[::1", "status"}, 2, "\"[::1\"");
        row("junk after host", {"--device", "socket://[::1]x:80", "status"}, 2, "\"[::1]x:80\"");
        row("service without a name", {"--device", "SERVICE:", "status"}, 2, "service:NAME");
        // The tests' system bus leads nowhere.
        row("no bus for the service", {"--device", "service:hall-1", "status"}, 1,
            "(service:hall-1): the D-Bus system bus");
        row("missing device", {"--device", absentDevice(), "status"}, 1,
            "(" + absentDevice() + "): the device does not exist");
        row("Japanese", {"--device", absentDevice(), "status"}, 1, "デバイスが存在しません", "ja");
        row("Japanese usage", {"--speed", "4800", "status"}, 2, "--help を参照してください", "ja");
    }

    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, culprit);
        QFETCH(QByteArray, language);
        Pty pty;
        QVERIFY(pty.ok());
        // A second --device wins.
        const Run r = ctl(pty.device(), args, {}, inLanguage(language.constData()));
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.err.count(u'\n'), 1);
        QVERIFY2(r.err.startsWith(QLatin1String("projector-ctl: ")), qPrintable(r.err));
        QVERIFY2(r.err.contains(culprit), qPrintable(r.err));
        QVERIFY2(exitCode != 2 || language != "en" ||
                     r.err.endsWith(QLatin1String(". Try --help.\n")),
                 qPrintable(r.err));
        QCOMPARE(pty.read(1, std::chrono::milliseconds(50)), QByteArray());
    }

    // What projectord holds, as a user sees it in a terminal or a script reads it: a projector on
    // the simulator, read by the service at its start, and one on a missing device, whose name
    // takes two cells a character. Reading needs no group; a name the service lacks is answered
    // with those it has.
    void listsTheService_data()
    {
        QTest::addColumn<int>("rig"); // 0: no bus, 1: a bus, 2: projectord on it
        QTest::addColumn<bool>("member");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err"); // contained; empty: none
        QTest::newRow("table") << 2 << true << QStringList{"--list"} << 0 << QString();
        QTest::newRow("json") << 2 << true << QStringList{"--list", "--json"} << 0 << QString();
        QTest::newRow("outside the group") << 2 << false << QStringList{"--list"} << 0 << QString();
        QTest::newRow("unknown name")
            << 2 << true << QStringList{"--device", "service:hall-2", "status"} << 1
            << "projectord has no projector of that name. It has: hall-1, ホール-2.";
        QTest::newRow("no service")
            << 1 << true << QStringList{"--list"} << 1
            << "projectord is not running: there are no projectors to list.";
        QTest::newRow("with a command")
            << 0 << true << QStringList{"--list", "status"} << 2 << "\"status\" is one too many";
        QTest::newRow("no bus") << 0 << true << QStringList{"--list", "--json"} << 1
                                << "the D-Bus system bus, where projectord is looked for";
    }

    void listsTheService()
    {
        QFETCH(int, rig);
        QFETCH(bool, member);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        const QString wide = QStringLiteral("ホール-2");
        SimProcess sim;
        QVERIFY2(sim.start({"--input", "2"}), sim.errors().constData());
        DbusDaemon bus(member ? DbusDaemon::Sender::Member : DbusDaemon::Sender::Outsider);
        if (rig >= 1) QVERIFY2(bus.start(), qPrintable(bus.errors()));
        ProjectordProcess service(bus);
        if (rig >= 2)
            QVERIFY2(service.start(QStringLiteral("[hall-1]\ndevice = %1\npoll = 60\n"
                                                  "[%2]\ndevice = %3\npoll = 0\n")
                                       .arg(sim.device(), wide, absentDevice())
                                       .toUtf8()),
                     service.errors().constData());
        const Step onBus = [&](QProcess &p) {
            inLanguage("en")(p);
            if (rig < 1) return;
            QProcessEnvironment env = bus.environment();
            env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
            env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
            p.setProcessEnvironment(env);
        };
        if (rig == 2) {
            // The service's first round of status reads, at its start, ends with the mirror's.
            QDBusConnection c = bus.connect(QStringLiteral("reader"));
            QDBusMessage get = QDBusMessage::createMethodCall(
                QLatin1String(ServiceNames::BusName),
                ServiceNames::projectorPath(QStringLiteral("hall-1")),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get << QLatin1String(ServiceNames::ProjectorInterface)
                << QStringLiteral("OrientationReadAt");
            QTRY_VERIFY_WITH_TIMEOUT(
                c.call(get).arguments().value(0).value<QDBusVariant>().variant().toLongLong() > 0,
                SimProcess::Patience);
        }
        const Run r = ctl({}, args, {}, onBus);
        QCOMPARE(r.exitCode, exitCode);
        if (!err.isEmpty()) {
            QVERIFY2(r.err.count(u'\n') == 1 && r.err.startsWith(QLatin1String("projector-ctl: ")),
                     qPrintable(r.err));
            QVERIFY2(r.err.contains(err), qPrintable(r.err));
            QCOMPARE(r.out, QString());
            return;
        }
        QCOMPARE(r.err, QString());
        const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        const auto readNow = [](const QDateTime &t) {
            return t.isValid() && qAbs(t.secsTo(QDateTime::currentDateTime())) < 600;
        };
        if (args.contains(QLatin1String("--json"))) {
            QCOMPARE(lines.size(), 2);
            const QJsonObject hall = QJsonDocument::fromJson(lines[0].toUtf8()).object();
            const QJsonObject absent = QJsonDocument::fromJson(lines[1].toUtf8()).object();
            QCOMPARE(hall.value(u"name"), "hall-1");
            QCOMPARE(hall.value(u"device"), sim.device());
            QCOMPARE(hall.value(u"online"), true);
            QCOMPARE(hall.value(u"failure"), QJsonValue());
            QCOMPARE(hall.value(u"power"), "standby");
            QCOMPARE(hall.value(u"lamp_hours"), 123);
            QCOMPARE(hall.value(u"input"), "computer-2");
            QCOMPARE(hall.value(u"orientation"), "normal");
            QVERIFY(readNow(
                QDateTime::fromString(hall.value(u"power_read_at").toString(), Qt::ISODate)));
            QCOMPARE(absent.value(u"name"), wide);
            QCOMPARE(absent.value(u"online"), false);
            QVERIFY(!absent.value(u"failure").toString().isEmpty());
            QVERIFY(!absent.contains(u"power") && !absent.contains(u"lamp_hours"));
            return;
        }
        // Cells are two spaces or more apart, and each column starts at the same cell on a
        // terminal, where a katakana takes two.
        QCOMPARE(lines.size(), 3);
        QList<QStringList> rows;
        QList<QList<int>> starts;
        static const QRegularExpression gap(QStringLiteral(" {2,}"));
        for (const QString &line : lines) {
            rows.append(line.split(gap));
            starts.append(QList<int>());
            int cells = 0;
            for (qsizetype i = 0; i < line.size(); ++i) {
                if (i == 0 || (line[i] != u' ' && line.mid(i - 2, 2) == QLatin1String("  ")))
                    starts.last().append(cells);
                cells += line[i].unicode() >= 0x3000 ? 2 : 1;
            }
        }
        QCOMPARE(rows[0], QStringList({"NAME", "DEVICE", "ONLINE", "POWER", "INPUT", "LAMP HOURS",
                                       "READ AT"}));
        QCOMPARE(rows[1].mid(0, 6),
                 QStringList({"hall-1", sim.device(), "yes", "standby", "computer-2", "123"}));
        QVERIFY(readNow(QDateTime::fromString(rows[1][6], QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        QCOMPARE(rows[2], QStringList({wide, absentDevice(), "no", "-", "-", "-", "-"}));
        QCOMPARE(starts[1], starts[0]);
        QCOMPARE(starts[2], starts[0]);
    }

    // The client of projectord is a plug-in, loaded only where the service may run (its runtime
    // directory is there) and the bus may listen; here the bus's address is a folder, so the
    // service is never reached. A local device is then opened directly, also by a copy of the
    // program away from its plug-in, which through service:NAME says what is missing.
    void serviceClientPlugin_data()
    {
        QTest::addColumn<bool>("copy");
        QTest::addColumn<bool>("serviceRuns");
        QTest::addColumn<bool>("byName");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("no projectord running") << false << false << false << false;
        QTest::newRow("projectord may run") << false << true << false << true;
        QTest::newRow("no plug-in, local device") << true << true << false << false;
        QTest::newRow("no plug-in, service:NAME") << true << true << true << false;
    }

    void serviceClientPlugin()
    {
        QFETCH(bool, copy);
        QFETCH(bool, serviceRuns);
        QFETCH(bool, byName);
        QFETCH(bool, loaded);
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("projector-ctl"));
        QVERIFY(!copy || QFile::copy(QStringLiteral(PROJECTOR_CTL_PATH), program));
        const QString runDirectory = dir.filePath(QStringLiteral("projectord"));
        QVERIFY(!serviceRuns || QDir().mkdir(runDirectory));
        const Step before = [&](QProcess &p) {
            inLanguage("en")(p);
            QProcessEnvironment env = p.processEnvironment();
            env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), "unix:path=" + dir.path());
            env.insert(QStringLiteral("PROJECTORD_RUNTIME_DIR"), runDirectory);
            p.setProcessEnvironment(env);
            if (copy) p.setProgram(program);
        };
        Pty pty;
        QVERIFY(pty.ok());
        bool mapped = false;
        const Run r = ctl(
            byName ? QStringLiteral("service:hall-1") : pty.device(), {"status"},
            [&](QProcess &p) {
                if (byName) return;
                QCOMPARE(pty.read(4, std::chrono::milliseconds(SimProcess::Patience)),
                         QByteArray("CR0\r"));
                QFile maps(QStringLiteral("/proc/%1/maps").arg(p.processId()));
                QVERIFY(maps.open(QIODevice::ReadOnly));
                const QByteArray all = maps.readAll();
                mapped = all.contains("service-client.so");
                // Network devices' support is a plug-in too, with Qt Network.
                QVERIFY(!all.contains("net-link.so") && !all.contains("libQt6Network"));
            },
            before);
        QCOMPARE(mapped, loaded);
        if (byName) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains(QLatin1String("client of projectord is missing")),
                     qPrintable(r.err));
        } else {
            QCOMPARE(r.exitCode, CtlOptions::ExitNoReply);
        }
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
        QCOMPARE(r.exitCode,
                 signal ? CtlOptions::ExitSignalBase + signal : CtlOptions::ExitNoReply);
        QCOMPARE(tcgetattr(pty.slave(), &after), 0);
        QVERIFY(std::memcmp(&after, &before, sizeof before) == 0);
        QCOMPARE(pty.read(1, std::chrono::milliseconds(50)), QByteArray());
    }

    // Output that cannot be written stops the run: the replies would be lost, and so would what
    // the commands after them did.
    void outputFails_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("sent");
        QTest::newRow("full disk") << "full" << 1;
        QTest::newRow("reader gone") << "pipe" << 1;
        QTest::newRow("closed") << "closed" << 0;
    }

    void outputFails()
    {
        QFETCH(QString, output);
        QFETCH(int, sent);
        SimProcess sim;
        QVERIFY2(sim.start({}), sim.errors().constData());
        int ends[2] = {-1, -1};
        QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
        ::close(ends[0]); // nobody reads
        const Run r = ctl(sim.device(), {"status", "power-on", "status"}, {}, [&](QProcess &p) {
            inLanguage("en")(p);
            if (output == u"full") p.setStandardOutputFile(QStringLiteral("/dev/full"));
            p.setChildProcessModifier([&] {
                if (output == u"pipe") ::dup2(ends[1], STDOUT_FILENO);
                if (output == u"closed") ::close(STDOUT_FILENO);
            });
        });
        ::close(ends[1]);
        QCOMPARE(r.exitCode, int(CtlOptions::ExitOutputFailed));
        QCOMPARE(r.err.count(u'\n'), 1);
        QCOMPARE(sim.lines().size(), sent);
    }

    void logsTheTraffic_data()
    {
        QTest::addColumn<QString>("log");  // empty: a new file, whose lines are checked
        QTest::addColumn<bool>("overTcp"); // through ser2net, whose line cannot be set from here
        QTest::newRow("file") << QString() << false;
        QTest::newRow("no such folder")
            << QStringLiteral("/nonexistent/folder/traffic.log") << false;
        QTest::newRow("full disk") << QStringLiteral("/dev/full") << false;
        // No speed was asked for, so none is said not to be set.
        QTest::newRow("raw TCP") << QString() << true;
    }

    void logsTheTraffic()
    {
        QFETCH(QString, log);
        QFETCH(bool, overTcp);
        SimProcess sim;
        QVERIFY2(sim.start({}), sim.errors().constData());
        Ser2Net server(Ser2Net::Kind::Raw, sim.device());
        QVERIFY(!overTcp || server.start());
        const QString d = overTcp ? server.url() : sim.device();
        QTemporaryDir dir;
        const QString file = log.isEmpty() ? dir.filePath(QStringLiteral("traffic.log")) : log;
        const Run r = ctl(d, {QStringLiteral("--log"), file, "status", "power-on"});
        // Control goes on whatever becomes of the log.
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("CR0   8 0 CR   Stand by\nC00   ACK CR \n"));
        if (!log.isEmpty()) {
            QCOMPARE(r.err.count(u'\n'), 1);
            QVERIFY2(r.err.contains(log), qPrintable(r.err));
            return;
        }
        QCOMPARE(r.err, QString());
        QStringList expected{"port 1  opened " + d + " 19200,N,8,1",
                             "port 1  TX   C R 0 CR ",
                             "port 1  RX   8 0 CR   Stand by",
                             "port 1  TX   C 0 0 CR ",
                             "port 1  RX   ACK CR ",
                             "port 1  closed " + d};
        if (!overTcp) expected.prepend(QStringLiteral("port 1  speed 19200,N,8,1"));
        QCOMPARE(trafficLogEntries(file), expected);
    }
};

QTEST_GUILESS_MAIN(CtlTest)
#include "tst_ctl.moc"
