// SPDX-License-Identifier: MIT
// The program as a technician starts it: options, and the report when port 1 cannot be opened.
#include "Pty.h"

#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Run
{
    int exitCode = -1;
    QString out, err;
};

Run run(const QStringList &args, int timeoutMs = 10000)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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
    void helpAndVersion()
    {
        const Run help = run({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        for (const char *word : {"--com1", "--com2", "DEVICE", "--log", "--version"})
            QVERIFY2(help.out.contains(QLatin1String(word)), qPrintable(help.out));
        const Run version = run({QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.out.contains(QLatin1String("projector-panel 1.30")), qPrintable(version.out));
    }

    void unknownOptionIsAnError()
    {
        const Run r = run({QStringLiteral("--com3"), QStringLiteral("x")});
        QVERIFY(r.exitCode != 0);
        QVERIFY(r.err.contains(QLatin1String("com3")));
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
        QVERIFY2(r.err.contains(QLatin1String("Serial ports found")) ||
                     r.err.contains(QLatin1String("No serial ports were found")),
                 qPrintable(r.err));
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

    void startsOnAPseudoTerminalAndSendsNothing()
    {
        Pty pty;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(PANEL_PATH), {QStringLiteral("--com1"), pty.device(),
                                             QStringLiteral("--com2"), pty.device()});
        QVERIFY(p.waitForStarted());
        QVERIFY(!p.waitForFinished(1500)); // still running with its window
        QCOMPARE(pty.read(1, std::chrono::milliseconds(100)), QByteArray());
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
