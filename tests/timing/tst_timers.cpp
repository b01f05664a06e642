// SPDX-License-Identifier: MIT
// The restart rules every timer of the window follows, pinned for the production timer and for
// the virtual clock the other tests run on.
#include "IntervalTimer.h"
#include "VirtualClock.h"

#include <QDir>
#include <QTest>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

enum class Kind { Virtual, Shared, Portable };

// The timerfds this process holds; -1 where /proc cannot tell.
int timerDescriptors()
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    if (!fds.exists()) return -1;
    int n = 0;
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        char target[64] = {};
        const QByteArray path = fds.filePath(fd).toLocal8Bit();
        if (::readlink(path.constData(), target, sizeof target - 1) > 0 &&
            qstrcmp(target, "anon_inode:[timerfd]") == 0)
            ++n;
    }
    return n;
}

} // namespace

class TimersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void preciseTimerRestarts_data()
    {
        QTest::addColumn<PreciseTimer::Backend>("backend");
        QTest::addColumn<int>("descriptors"); // while many timers run
        // One timerfd for all the timers of the thread.
        QTest::newRow("best") << PreciseTimer::Backend::Best << 1;
        // The QTimer path of systems without a timerfd.
        QTest::newRow("portable") << PreciseTimer::Backend::Portable << 0;
    }

    void preciseTimerRestarts()
    {
        // Read the remaining time instead of waiting: a restarted countdown is back at full.
        QFETCH(PreciseTimer::Backend, backend);
        QFETCH(int, descriptors);
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
        if (timerDescriptors() >= 0) QCOMPARE(timerDescriptors(), descriptors);
    }

    // Closed with the thread's last timer, and made again for the next one.
    void lastTimerClosesTheDescriptor()
    {
        if (timerDescriptors() < 0) QSKIP("no /proc here");
        {
            PreciseTimer t;
            t.setInterval(1h);
            t.start();
            QCOMPARE(timerDescriptors(), 1);
        }
        QCOMPARE(timerDescriptors(), 0);
        PreciseTimer again;
        int ticks = 0;
        QObject::connect(&again, &IntervalTimer::timeout, this, [&] { ++ticks; });
        again.start();
        QVERIFY(QTest::qWaitFor([&] { return ticks > 0; }, 20000));
    }

    // Two timers due in the same round tick in deadline order, and the first one's tick may
    // stop, restart or delete the second before it ticks. The virtual clock's order is the one
    // the production timers keep.
    void firstTickActsOnTheSecond_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("order");
        const std::pair<const char *, Kind> kinds[] = {
            {"virtual", Kind::Virtual}, {"shared", Kind::Shared}, {"portable", Kind::Portable}};
        for (const auto &[name, kind] : kinds) {
            QTest::addRow("%s, nothing", name) << kind << "nothing"
                                               << "ba";
            QTest::addRow("%s, stops it", name) << kind << "stop"
                                                << "b";
            QTest::addRow("%s, deletes it", name) << kind << "delete"
                                                  << "b";
            QTest::addRow("%s, restarts it", name) << kind << "restart"
                                                   << "b";
        }
    }
    void firstTickActsOnTheSecond()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, action);
        QFETCH(QString, order);
        VirtualClock clock;
        const auto make = [&]() -> std::unique_ptr<IntervalTimer> {
            if (kind == Kind::Virtual) return clock.makeTimer();
            return std::make_unique<PreciseTimer>(kind == Kind::Shared
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
        if (kind == Kind::Virtual) {
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
