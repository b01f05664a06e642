// SPDX-License-Identifier: MIT
// The restart rules every timer of the window follows, pinned for the production timer and for
// the virtual clock the other tests run on.
#include "IntervalTimer.h"
#include "VirtualClock.h"

#include <QDir>
#include <QTest>

using namespace std::chrono_literals;

// The timerfds this process holds.
int timerDescriptors()
{
    int n = 0;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System))
        n += fd.symLinkTarget().endsWith(QLatin1String("[timerfd]"));
    return n;
}

class TimersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void preciseTimerRestarts_data()
    {
        QTest::addColumn<PreciseTimer::Backend>("backend");
        QTest::addColumn<int>("descriptors"); // while many timers run: one for the thread
        QTest::newRow("best") << PreciseTimer::Backend::Best << 1;
        // The QTimer path of systems without a timerfd.
        QTest::newRow("portable") << PreciseTimer::Backend::Portable << 0;
    }

    void preciseTimerRestarts()
    {
        // Read the remaining time instead of waiting: a restarted countdown is back at full.
        QFETCH(PreciseTimer::Backend, backend);
        QFETCH(int, descriptors);
        QCOMPARE(timerDescriptors(), 0); // closed with the last timer of the row before
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

        std::vector<std::unique_ptr<PreciseTimer>> many;
        for (int i = 0; i < 200; ++i) {
            many.push_back(std::make_unique<PreciseTimer>(backend));
            many.back()->setInterval(std::chrono::minutes(1 + i % 7));
            many.back()->start();
        }
        QCOMPARE(timerDescriptors(), descriptors);
    }

    // Two timers due in the same round tick in deadline order, and the first one's tick may
    // stop, restart or delete the second before it ticks, as on the virtual clock.
    void firstTickActsOnTheSecond_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("action");
        for (const char *kind : {"virtual", "shared", "portable"})
            for (const char *action : {"nothing", "stop", "delete", "restart"})
                QTest::addRow("%s, %s", kind, action) << kind << action;
    }
    void firstTickActsOnTheSecond()
    {
        QFETCH(QString, kind);
        QFETCH(QString, action);
        const QString order = action == QLatin1String("nothing") ? "ba" : "b";
        VirtualClock clock;
        const auto make = [&]() -> std::unique_ptr<IntervalTimer> {
            if (kind == QLatin1String("virtual")) return clock.makeTimer();
            return std::make_unique<PreciseTimer>(kind == QLatin1String("shared")
                                                      ? PreciseTimer::Backend::Best
                                                      : PreciseTimer::Backend::Portable);
        };
        // Made in one order, started in the other: the start decides.
        std::unique_ptr<IntervalTimer> a = make();
        std::unique_ptr<IntervalTimer> b = make();
        QString ticks;
        QObject::connect(a.get(), &IntervalTimer::timeout, this, [&] {
            ticks += u'a';
            a->stop();
        });
        QObject::connect(b.get(), &IntervalTimer::timeout, this, [&] {
            ticks += u'b';
            b->stop();
            if (action == QLatin1String("stop")) a->stop();
            if (action == QLatin1String("delete")) a.reset();
            if (action == QLatin1String("restart")) a->setInterval(1h);
        });
        a->setInterval(5ms);
        b->setInterval(5ms);
        b->start();
        a->start();
        if (kind == QLatin1String("virtual")) {
            clock.advance(5ms);
        } else {
            // Both overdue before the loop looks, so that they come in one round.
            while (a->remainingTime() >= 0ms) {
            }
            QVERIFY(QTest::qWaitFor([&] { return ticks.size() == order.size(); }, 20000));
        }
        QCOMPARE(ticks, order);
        QCOMPARE(bool(a), action != QLatin1String("delete"));
        if (a) QCOMPARE(a->isActive(), action == QLatin1String("restart"));
        if (action == QLatin1String("restart")) QVERIFY(a->remainingTime() > 59min);
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
};

QTEST_GUILESS_MAIN(TimersTest)
#include "tst_timers.moc"
