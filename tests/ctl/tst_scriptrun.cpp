// SPDX-License-Identifier: MIT
// projector-ctl's sequence on a fake link and virtual time: one command per reply window, and
// how a run ends.
#include "CtlSession.h"
#include "FakeLink.h"
#include "ScriptRun.h"
#include "VirtualClock.h"

#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

CtlOptions options(const QStringList &commands)
{
    CtlOptions o;
    o.settings = *LineSettings::parse(QStringLiteral("19200,N,8,1"));
    for (const QString &c : commands) o.commands << *findCommand(c);
    return o;
}

QString contents(std::FILE *f)
{
    std::rewind(f);
    QByteArray all;
    char buf[512];
    while (std::fgets(buf, sizeof buf, f)) all += buf;
    return QString::fromLocal8Bit(all);
}

} // namespace

class ScriptRunTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachCommandWaitsOutTheReplyWindow()
    {
        VirtualClock clock;
        FakeLink link;
        link.now = [&] { return clock.now().count(); };
        QVERIFY(link.setPortNumber(1) && link.open());
        ScriptRun run(link, clock.factory(),
                      {*findCommand(u"status"), *findCommand(u"CR0"), *findCommand(u"Power-On")});
        QList<CommandResult> results;
        bool finished = false;
        connect(&run, &ScriptRun::answered, this, [&](const CommandResult &r) { results << r; });
        connect(&run, &ScriptRun::finished, this, [&] { finished = true; });

        run.start();
        clock.advanceTo(std::chrono::milliseconds(30));
        link.receive("80\r");
        // The second status read goes unanswered: the status of the first must not stay with it.
        clock.advanceTo(std::chrono::milliseconds(1200));
        link.receive("\x06\r");
        clock.advanceTo(std::chrono::milliseconds(1499));
        QVERIFY(!finished);
        clock.advanceTo(std::chrono::milliseconds(1500));

        QCOMPARE(link.lines(), (QList<QByteArray>{"CR0\r", "CR0\r", "C00\r"}));
        QCOMPARE(link.writes.at(1).atMs, 500);
        QCOMPARE(link.writes.at(2).atMs, 1000);
        QCOMPARE(results.size(), 3);
        QCOMPARE(results[0].reply, QByteArray("80\r"));
        QCOMPARE(results[0].reading.power, PowerState::Standby);
        QVERIFY(results[0].replied);
        QCOMPARE(results[1].reply, QByteArray());
        QVERIFY(results[1].reading.isEmpty());
        QVERIFY(!results[1].replied);
        QCOMPARE(results[2].reply, QByteArray("\x06\r"));
        QVERIFY(finished);
    }

    // Whatever ends the run ends the program, from its event loop, with the port closed and
    // nothing more sent.
    void endsWithAStatus_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("errHas");
        QTest::newRow("first write fails")
            << "write" << int(CtlOptions::ExitFailed) << 0 << "Cannot send to serial port 1";
        QTest::newRow("no device")
            << "missing" << int(CtlOptions::ExitFailed) << 0 << "the device does not exist";
        // In a script's words: nothing about the window's reopening.
        QTest::newRow("device lost")
            << "lost" << int(CtlOptions::ExitFailed) << 1 << "(fake1) has gone away.\n";
        QTest::newRow("output fails")
            << "output" << int(CtlOptions::ExitOutputFailed) << 1 << "Cannot write the output";
    }
    void endsWithAStatus()
    {
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(int, sent);
        QFETCH(QString, errHas);
        VirtualLine line;
        QVERIFY(line.link.setPortNumber(1));
        line.link.failWrites = fault == u"write";
        if (fault == u"missing") line.link.missingPorts = {1};
        std::FILE *out = fault == u"output" ? std::fopen("/dev/full", "w") : std::tmpfile();
        std::FILE *err = std::tmpfile();
        QVERIFY(out && err);
        CtlSession session(line.link, line.clock.factory(), options({"status", "power-on"}), out,
                           err);
        // Once the first command is out.
        connect(&line.link, &SerialLink::opened, &session, [&] {
            QTimer::singleShot(0, &session, [&] {
                if (fault == u"lost") line.link.unplug();
                line.at(600);
            });
        });
        // A run that never ends fails here instead of at the test's time limit.
        QTimer::singleShot(30000, &session, [] { QCoreApplication::exit(-1); });
        QCOMPARE(session.exec(), status);
        QCOMPARE(line.link.lines().size(), sent);
        QVERIFY(!line.link.isOpen() && !line.link.isWaitingForDevice());
        const QString said = contents(err);
        QVERIFY2(said.startsWith(u"projector-ctl: ") && said.contains(errHas), qPrintable(said));
        QCOMPARE(said.count(u'\n'), 1);
        std::fclose(out);
        std::fclose(err);
    }

    // Nothing is sent before the connection is made; a connection that fails ends the run.
    void waitsForTheConnection_data()
    {
        QTest::addColumn<bool>("made");
        QTest::newRow("made") << true;
        QTest::newRow("failed") << false;
    }
    void waitsForTheConnection()
    {
        QFETCH(bool, made);
        VirtualLine line;
        line.link.connects = true; // as a device server's link: open() only begins
        QVERIFY(line.link.setPortNumber(1));
        std::FILE *err = std::tmpfile();
        CtlSession session(line.link, line.clock.factory(), options({"status"}), std::tmpfile(),
                           err);
        QList<int> statuses;
        connect(&session, &CtlSession::finished, this, [&](int s) { statuses << s; });
        session.start();
        // A line written now would have its reply window run out while the link connects.
        line.at(1000);
        QVERIFY(line.link.lines().isEmpty() && statuses.isEmpty());
        if (made)
            line.link.finishConnect();
        else
            line.link.failConnect();
        QCOMPARE(line.link.lines(), made ? QList<QByteArray>{"CR0\r"} : QList<QByteArray>());
        QCOMPARE(statuses, made ? QList<int>() : QList<int>{CtlOptions::ExitFailed});
        if (!made) QVERIFY(contents(err).contains(u"connection refused"));
    }
};

QTEST_GUILESS_MAIN(ScriptRunTest)
#include "tst_scriptrun.moc"
