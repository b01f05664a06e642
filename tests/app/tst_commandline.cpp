// SPDX-License-Identifier: MIT
// The options as the program reads them before it has an application object.
#include "CommandLine.h"

#include <QTest>

namespace {
CommandLine::Outcome parse(const QStringList &args)
{
    return CommandLine(QStringLiteral("/dev/first"), QStringLiteral("/dev/second"))
        .parse(QStringList{QStringLiteral("projector-panel")} + args);
}
} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runs_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("com1");
        QTest::addColumn<QString>("com2");
        QTest::newRow("defaults") << QStringList() << "/dev/first"
                                  << "/dev/second";
        QTest::newRow("both ports")
            << QStringList{"--com1", "/dev/pts/3", "--com2=/tmp/com2"} << "/dev/pts/3"
            << "/tmp/com2";
        // The application object takes these out of the arguments after us.
        QTest::newRow("Qt's own options")
            << QStringList{"-platform", "offscreen", "-reverse", "-style=fusion", "--com1", "/x"}
            << "/x"
            << "/dev/second";
        QTest::newRow("projector at the service")
            << QStringList{"--com2", "Service:hall-1"} << "/dev/first"
            << "Service:hall-1";
    }
    void runs()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, com1);
        QFETCH(QString, com2);
        const CommandLine::Outcome o = parse(args);
        QVERIFY2(o.run, qPrintable(o.err));
        QCOMPARE(o.value(QStringLiteral("com1")), com1);
        QCOMPARE(o.value(QStringLiteral("com2")), com2);
    }

    void exitsAtOnce_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("outHas");
        QTest::addColumn<QString>("err");
        const QString u = QStringLiteral("projector-panel: %1. Try --help.\n");
        QTest::newRow("help") << QStringList{"--help"} << 0
                              << QStringList{"--com1 <DEVICE>", "/dev/first", "1  serial port 1",
                                             "2  the command line was wrong"}
                              << QString();
        QTest::newRow("help-all") << QStringList{"--help-all"} << 0
                                  << QStringList{"--com2 <DEVICE>", "--platform <"} << QString();
        QTest::newRow("unknown, dash and value")
            << QStringList{"-x=1"} << 2 << QStringList() << u.arg("unknown option '-x'");
        QTest::newRow("error before help") << QStringList{"--bogus", "--help"} << 2 << QStringList()
                                           << u.arg("unknown option '--bogus'");
        QTest::newRow("no value") << QStringList{"--com2", "/x", "--com1"} << 2 << QStringList()
                                  << u.arg("option '--com1' needs a value");
        QTest::newRow("option as device")
            << QStringList{"--com1", "--com2", "/x"} << 2 << QStringList()
            << u.arg("--com1: expected a device, got \"--com2\"");
        QTest::newRow("empty device") << QStringList{"--com2="} << 2 << QStringList()
                                      << u.arg("--com2: expected a device, got \"\"");
        QTest::newRow("empty log") << QStringList{"--log="} << 2 << QStringList()
                                   << u.arg("--log: expected a file, got \"\"");
        // A device server's address is checked before anything is opened.
        QTest::newRow("address without port")
            << QStringList{"--com2", "rfc2217://127.0.0.1"} << 2 << QStringList()
            << u.arg("--com2: Cannot open serial port 2 (rfc2217://127.0.0.1): the address has no "
                     "port number; write rfc2217://HOST:PORT");
        QTest::newRow("unclosed bracket")
            << QStringList{"--com1", "socket://[::1"} << 2 << QStringList()
            << u.arg("--com1: Cannot open serial port 1 (socket://[::1): \"[::1\" is not a host "
                     "name or a bracketed IPv6 address; write socket://HOST:PORT");
        QTest::newRow("service without a name")
            << QStringList{"--com2", "service:"} << 2 << QStringList()
            << u.arg("--com2: Cannot open serial port 2 (service:): no projector's name follows "
                     "\"service:\"; write service:NAME");
        QTest::newRow("option after --") << QStringList{"--", "--help"} << 2 << QStringList()
                                         << u.arg("unexpected argument \"--help\"");
    }
    void exitsAtOnce()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QStringList, outHas);
        QFETCH(QString, err);
        const CommandLine::Outcome o = parse(args);
        QVERIFY(!o.run);
        QCOMPARE(o.exitStatus, status);
        QCOMPARE(o.err, err);
        QCOMPARE(o.out.isEmpty(), outHas.isEmpty());
        for (const QString &text : outHas) QVERIFY2(o.out.contains(text), qPrintable(o.out));
        // Qt's options are accepted, but only --help-all lists them.
        if (args == QStringList{"--help"}) QVERIFY(!o.out.contains(QLatin1String("--platform")));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
