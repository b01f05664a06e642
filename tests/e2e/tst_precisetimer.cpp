// SPDX-License-Identifier: MIT
// The production timer in real time: it ticks, repeats, restarts and stays quiet when
// stopped. Timing is bounded loosely here; the repeat figures are the benchmark's.
#include "IntervalTimer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>

using namespace std::chrono_literals;

namespace {
// Runs the event loop for a while without QTest::qWait's own 10 ms naps.
void runFor(std::chrono::milliseconds d)
{
    QEventLoop loop;
    QTimer::singleShot(d, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

class PreciseTimerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ticksPeriodicallyUntilStopped()
    {
        PreciseTimer t;
        int ticks = 0;
        QObject::connect(&t, &IntervalTimer::timeout, this, [&] { ++ticks; });
        t.setInterval(5ms);
        t.start();
        runFor(200ms);
        QVERIFY2(ticks >= 20 && ticks <= 41, qPrintable(QString::number(ticks)));
        t.stop();
        const int atStop = ticks;
        runFor(50ms);
        QCOMPARE(ticks, atStop);
        QVERIFY(t.remainingTime() < 0ms);
    }

    void stopFromItsOwnTickAndRestartFromTheTick()
    {
        PreciseTimer once;
        int onceTicks = 0;
        QObject::connect(&once, &IntervalTimer::timeout, this, [&] { ++onceTicks; once.stop(); });
        once.setInterval(5ms);
        once.start();

        // The repeat's pattern: every tick starts the timer again.
        PreciseTimer repeat;
        QList<qint64> at;
        QElapsedTimer clock;
        QObject::connect(&repeat, &IntervalTimer::timeout, this, [&] { at << clock.nsecsElapsed(); repeat.start(); });
        repeat.setInterval(20ms);
        clock.start();
        repeat.start();
        runFor(110ms);
        repeat.stop();
        QCOMPARE(onceTicks, 1);
        QVERIFY2(at.size() >= 3 && at.size() <= 5, qPrintable(QString::number(at.size())));
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
        t.setInterval(10000ms);
        runFor(30ms);
        QCOMPARE(ticks, 0);
        QVERIFY(t.isActive());
        QVERIFY(t.remainingTime() > 9000ms);
    }
};

QTEST_GUILESS_MAIN(PreciseTimerTest)
#include "tst_precisetimer.moc"
