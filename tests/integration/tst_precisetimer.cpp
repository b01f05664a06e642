// SPDX-License-Identifier: MIT
// The production timer in real time: it ticks, repeats, restarts and stays quiet when
// stopped. Timing is bounded loosely here; the repeat figures are the benchmark's.
#include "IntervalTimer.h"
#include "Probes.h"

#include <QElapsedTimer>
#include <QTest>

using namespace std::chrono_literals;

class PreciseTimerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ticksPeriodicallyUntilStopped()
    {
        // A busy machine may delay ticks (late ones come as one), but never brings one early.
        PreciseTimer t;
        int ticks = 0;
        QObject::connect(&t, &IntervalTimer::timeout, this, [&] { ++ticks; });
        t.setInterval(5ms);
        QElapsedTimer clock;
        clock.start();
        t.start();
        QVERIFY(QTest::qWaitFor([&] { return ticks >= 10; }, 20000));
        const qint64 elapsedMs = clock.elapsed();
        QVERIFY2(elapsedMs >= 50, qPrintable(QString::number(elapsedMs)));
        QVERIFY2(ticks <= elapsedMs / 5 + 1,
                 qPrintable(QStringLiteral("%1 in %2 ms").arg(ticks).arg(elapsedMs)));
        t.stop();
        const int atStop = ticks;
        runEventLoop(50);
        QCOMPARE(ticks, atStop);
        QVERIFY(t.remainingTime() < 0ms);
    }

    void stopFromItsOwnTickAndRestartFromTheTick()
    {
        PreciseTimer once;
        int onceTicks = 0;
        QObject::connect(&once, &IntervalTimer::timeout, this, [&] {
            ++onceTicks;
            once.stop();
        });
        once.setInterval(5ms);
        once.start();

        // The repeat's pattern: every tick starts the timer again.
        PreciseTimer repeat;
        QList<qint64> at;
        QElapsedTimer clock;
        QObject::connect(&repeat, &IntervalTimer::timeout, this, [&] {
            at << clock.nsecsElapsed();
            repeat.start();
        });
        repeat.setInterval(20ms);
        clock.start();
        repeat.start();
        QVERIFY(QTest::qWaitFor([&] { return at.size() >= 4; }, 20000));
        repeat.stop();
        QCOMPARE(onceTicks, 1);
        for (int i = 1; i < at.size(); ++i) QVERIFY(at[i] - at[i - 1] >= 20'000'000);
    }

    void restartDropsAPendingExpiry()
    {
        PreciseTimer t;
        int ticks = 0;
        QObject::connect(&t, &IntervalTimer::timeout, this, [&] { ++ticks; });
        t.setInterval(1ms);
        t.start();
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 5) {
        } // the expiry is due but not yet handled
        // Due counts from the deadline, so a timer due at the same moment can be run first.
        QVERIFY(t.isDue());
        t.setInterval(10000ms);
        runEventLoop(30);
        QCOMPARE(ticks, 0);
        QVERIFY(t.isActive());
        QVERIFY(t.remainingTime() > 9000ms);
    }
};

QTEST_GUILESS_MAIN(PreciseTimerTest)
#include "tst_precisetimer.moc"
