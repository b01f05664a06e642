// SPDX-License-Identifier: MIT
// The program as a technician starts it: options, and the report when port 1 cannot be opened.
#include "PanelVersion.h"
#include "Pty.h"
#include "SerialLock.h"

#include <QProcess>
#include <QSerialPort>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
struct Run
{
    int exitCode = -1;
    QString out, err;
};

QTemporaryDir &scratchConfig()
{
    static QTemporaryDir dir;
    return dir;
}

// As started from a shell, in English, with settings in a folder of the test's own
// (XDG_CONFIG_HOME), never the user's, and no real serial port listed (listing them opens every
// /dev/ttyS*). Without a display unless offscreen.
QProcessEnvironment environment(bool offscreen = true,
                                const QString &language = QStringLiteral("en"),
                                const QString &configHome = scratchConfig().path())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PROJECTOR_PANEL_PORT_LIST"), QString());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("LANGUAGE"), language);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (offscreen)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

Run run(const QStringList &args, const QProcessEnvironment &env = environment(),
        int timeoutMs = 30000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PANEL_PATH), args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}
} // namespace

class CliTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Answered before the application object exists, so no screen is needed.
    void exitsAtOnceWithoutAScreen_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("outHas");
        QTest::addColumn<QString>("errorNames");
        QTest::addColumn<QString>("language");
        // What the help says is checked in-process; here, that it speaks the operator's language.
        QTest::newRow("help in Japanese")
            << QStringList{"--help"} << 0
            << QStringList{"シリアルポート 1 として使用します", "--com1 <"} << QString() << "ja";
        QTest::newRow("version")
            << QStringList{"--version"} << 0
            << QStringList{QStringLiteral("projector-panel %1\n").arg(QLatin1String(PanelVersion))}
            << QString() << "en";
        QTest::newRow("unknown option")
            << QStringList{"--com3", "x"} << 2 << QStringList() << "unknown option '--com3'"
            << "en";
        QTest::newRow("no value") << QStringList{"--com1"} << 2 << QStringList() << "'--com1'"
                                  << "en";
        QTest::newRow("stray argument")
            << QStringList{"/dev/ttyUSB0"} << 2 << QStringList() << "\"/dev/ttyUSB0\""
            << "en";
    }
    void exitsAtOnceWithoutAScreen()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, outHas);
        QFETCH(QString, errorNames);
        QFETCH(QString, language);
        const Run r = run(args, environment(false, language));
        QCOMPARE(r.exitCode, exitCode);
        for (const QString &text : outHas) QVERIFY2(r.out.contains(text), qPrintable(r.out));
        if (errorNames.isEmpty()) {
            QCOMPARE(r.err, QString());
        } else {
            // One line, naming the culprit and where to look.
            QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
            QVERIFY2(r.err.startsWith(QLatin1String("projector-panel: ")), qPrintable(r.err));
            QVERIFY2(r.err.contains(errorNames), qPrintable(r.err));
            QVERIFY2(r.err.endsWith(QLatin1String("Try --help.\n")), qPrintable(r.err));
            QCOMPARE(r.out, QString());
        }
    }

    void missingPortOneEndsBeforeTheWindow()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyUSB7"));
        const Run r = run({QStringLiteral("--com1"), device});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(device), qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("does not exist")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("--com1")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("No serial ports were found")), qPrintable(r.err));
    }

    void busyPortOneIsToldApart()
    {
        Pty pty;
        QVERIFY(pty.ok());
        QSerialPort other; // another program holds the port
        other.setPortName(pty.device());
        QVERIFY(other.open(QIODevice::ReadWrite));
        const Run r = run({QStringLiteral("--com1"), pty.device()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QLatin1String("in use by another program")), qPrintable(r.err));
        QVERIFY2(r.err.contains(pty.device()), qPrintable(r.err));
    }

    // The device last chosen in the window is port 1 from the menu; --com1 is for one run.
    // The rule of which device wins is tst_devices' table; here only what main() adds: the
    // kept device is what --help offers, and --com1 is used for this run and not kept.
    void remembersTheDeviceAndTheCommandLineWins()
    {
        QTemporaryDir config;
        Pty kept, given;
        QVERIFY(given.watchSetUp());
        const QString file =
            config.filePath(QStringLiteral("projector-panel/projector-panel.conf"));
        {
            QSettings settings(file, QSettings::IniFormat);
            settings.setValue(QStringLiteral("devices/port1"), kept.device());
        }
        const QProcessEnvironment env = environment(true, QStringLiteral("en"), config.path());
        QVERIFY(run({QStringLiteral("--help")}, env).out.contains(kept.device()));

        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(PANEL_PATH), {QStringLiteral("--com1"), given.device()});
        QVERIFY(p.waitForStarted());
        QVERIFY2(given.setUp(), qPrintable(p.readAllStandardError()));
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(QSettings(file, QSettings::IniFormat).value(QStringLiteral("devices/port1")),
                 QVariant(kept.device()));
    }

    void startsOnAPseudoTerminalAndSendsNothing()
    {
        Pty pty;
        QProcess p;
        p.setProcessEnvironment(environment(true));
        p.start(QStringLiteral(PANEL_PATH),
                {QStringLiteral("--com1"), pty.device(), QStringLiteral("--com2"), pty.device()});
        QVERIFY(p.waitForStarted());
        QVERIFY(!p.waitForFinished(1500)); // still running with its window
        QCOMPARE(pty.read(1, std::chrono::milliseconds(100)), QByteArray());
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
    }

    // A logout, a shutdown, a closed terminal or Ctrl-C ends the panel as closing its window
    // does: the port is closed and its lock file removed, which would otherwise keep the device
    // "in use" for projectord or the next program.
    void signalsEndItCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void signalsEndItCleanly()
    {
        QFETCH(int, signal);
        Pty pty;
        const QString lock = serialLockFile(pty.device());
        QVERIFY(!lock.isEmpty() && !QFileInfo::exists(lock));
        QProcess p;
        p.setProcessEnvironment(environment(true));
        p.start(QStringLiteral(PANEL_PATH), {QStringLiteral("--com1"), pty.device()});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(lock), 10000);
        QCOMPARE(::kill(pid_t(p.processId()), signal), 0);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(lock));
    }

    // Port 1 is tried before a screen is needed: its failure is the usual report, and a port
    // that opens meets the missing screen in one line; never the platform plugin's abort.
    void withoutAScreen_data()
    {
        QTest::addColumn<bool>("portOpens");
        QTest::addColumn<QString>("errHas");
        QTest::newRow("port 1 missing") << false << "does not exist";
        QTest::newRow("port 1 opens") << true << "no screen";
    }
    void withoutAScreen()
    {
        QFETCH(bool, portOpens);
        QFETCH(QString, errHas);
        Pty pty;
        const QString device = portOpens ? pty.device() : QStringLiteral("/nonexistent/ttyX");
        const Run r = run({QStringLiteral("--com1"), device}, environment(false));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith(QLatin1String("projector-panel: ")), qPrintable(r.err));
        QVERIFY2(r.err.contains(errHas), qPrintable(r.err));
        if (portOpens) QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
