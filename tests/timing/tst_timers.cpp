// SPDX-License-Identifier: MIT
// The restart rules every timer of the window follows, pinned for the production timer and for
// the virtual clock the other tests run on.
#include "IntervalTimer.h"
#include "VirtualClock.h"

#include <QTest>

using namespace std::chrono_literals;

class TimersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void preciseTimerRestarts_data()
    {
        QTest::addColumn<PreciseTimer::Backend>("backend");
        QTest::newRow("best") << PreciseTimer::Backend::Best;
        // The QTimer path of systems without a timerfd.
        QTest::newRow("portable") << PreciseTimer::Backend::Portable;
    }

    void preciseTimerRestarts()
    {
        // Read the remaining time instead of waiting: a restarted countdown is back at full.
        QFETCH(PreciseTimer::Backend, backend);
        PreciseTimer t(backend);
        t.setInterval(60000ms);
        t.start();
        QVERIFY(t.isActive());
        t.setInterval(120000ms);
        QVERIFY(t.isActive());
        QVERIFY(t.remainingTime() > 60000ms);
        // A held button shortens a running timer: due by the new interval, not the old one.
        t.setInterval(30000ms);
        QVERIFY(t.remainingTime() <= 30000ms);
        QVERIFY(t.remainingTime() > 29000ms);
        t.setInterval(0ms);
        QVERIFY(t.isDue());
        t.setInterval(120000ms);
        QVERIFY(!t.isDue());
        t.start();
        QVERIFY(t.remainingTime() > 119000ms);
        t.stop();
        QVERIFY(!t.isActive());
        QCOMPARE(t.interval(), 120000ms);
    }

    void virtualStartRestartsCountdown()
    {
        VirtualClock clock;
        auto t = clock.makeTimer();
        int ticks = 0;
        QObject::connect(t.get(), &IntervalTimer::timeout, this, [&] { ++ticks; });
        t->setInterval(100ms);
        t->start();
        clock.advance(60ms);
        t->start(); // restarts: due at 160
        clock.advance(99ms);
        QCOMPARE(ticks, 0);
        clock.advance(1ms);
        QCOMPARE(ticks, 1);
        // Periodic until stopped.
        clock.advance(200ms);
        QCOMPARE(ticks, 3);
        t->stop();
        clock.advance(1000ms);
        QCOMPARE(ticks, 3);
    }

    void virtualSetIntervalRestartsRunningTimer()
    {
        VirtualClock clock;
        auto t = clock.makeTimer();
        QList<long long> at;
        QObject::connect(t.get(), &IntervalTimer::timeout, this,
                         [&] { at << clock.now().count(); });
        t->setInterval(200ms);
        t->start();
        clock.advance(150ms);
        t->setInterval(50ms); // from 150: ticks at 200, 250
        clock.advance(100ms);
        QCOMPARE(at, (QList<long long>{200, 250}));
        // Setting the interval of a stopped timer does not start it.
        t->stop();
        t->setInterval(10ms);
        clock.advance(100ms);
        QCOMPARE(at.size(), 2);
    }

    void virtualSimultaneousTicksInStartOrder()
    {
        VirtualClock clock;
        auto a = clock.makeTimer();
        auto b = clock.makeTimer();
        QString order;
        QObject::connect(a.get(), &IntervalTimer::timeout, this, [&] {
            order += u'a';
            a->stop();
        });
        QObject::connect(b.get(), &IntervalTimer::timeout, this, [&] {
            order += u'b';
            b->stop();
        });
        a->setInterval(5ms);
        b->setInterval(5ms);
        b->start();
        a->start();
        clock.advance(5ms);
        QCOMPARE(order, QStringLiteral("ba"));
    }
};

QTEST_GUILESS_MAIN(TimersTest)
#include "tst_timers.moc"
