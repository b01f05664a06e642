// SPDX-License-Identifier: MIT
// projector-ctl's sequence on a fake link and virtual time: one command per reply window.
#include "FakeLink.h"
#include "ScriptRun.h"
#include "VirtualClock.h"

#include <QTest>

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
        QCOMPARE(results[0].reply, QStringLiteral(" 8 0 CR "));
        QCOMPARE(results[0].status.value_or(QStringLiteral("<none>")), QStringLiteral(" Stand by"));
        QVERIFY(results[0].replied);
        QCOMPARE(results[1].reply, QStringLiteral(" X X X X"));
        QVERIFY(!results[1].status);
        QVERIFY(!results[1].replied);
        QCOMPARE(results[2].reply, QStringLiteral(" ACK CR "));
        QVERIFY(finished);
    }
};

QTEST_GUILESS_MAIN(ScriptRunTest)
#include "tst_scriptrun.moc"
