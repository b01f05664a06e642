// SPDX-License-Identifier: MIT
// The fastest repeat the panel has, held against the real simulator for a while: every line must
// arrive intact, memory must stay flat, and the release must leave no timer running.
// PANEL_SOAK_SECONDS runs it longer by hand; CI keeps the bounded default.
#include "CountingLink.h"
#include "DeviceLink.h"
#include "Panel.h"
#include "Probes.h"
#include "SimProcess.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

constexpr double DefaultSeconds = 20;
// Growth allowed between the warmed-up start and the end of the hold: in CI it catches a leak
// of about half a kilobyte per line, in a ten-minute run by hand one of a few dozen bytes.
constexpr qint64 RssGrowthLimitKb = 2048;

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void arrowHeldInDigitalZoomMode();
};

void SoakTest::arrowHeldInDigitalZoomMode()
{
    const double seconds = secondsFromEnv("PANEL_SOAK_SECONDS", DefaultSeconds);
    SimProcess sim;
    QVERIFY2(sim.start({}), sim.errors().constData());
    DeviceLink real(sim.device(), absentDevice());
    CountingLink link(real);
    Panel panel(link, PreciseTimer::factory());
    QStringList failures, lost;
    QObject::connect(&panel.exchange(), &Exchange::sendFailed, &panel,
                     [&](const LinkFailure &f) { failures << f.text(); });
    QObject::connect(&link, &SerialLink::lost, &panel,
                     [&](const LinkFailure &f) { lost << f.text(); });
    QVERIFY2(panel.load(), qPrintable(link.errorString()));

    // The release of a D.Zoom button leaves the arrows repeating every 5 ms.
    const auto dZoom = QLatin1StringView("Command48"); // D.Zoom +, C30
    const auto up = QLatin1StringView("Command5");     // C3C
    QVERIFY(panel.press(dZoom));
    panel.release(dZoom);
    QCOMPARE(panel.timer1().interval(), DigitalZoomPeriod);

    const qint64 holdMs = qint64(seconds * 1000);
    const qint64 warmMs = qMin<qint64>(3000, holdMs / 4);
    qint64 rssStart = -1, rssPeak = -1;
    QElapsedTimer holding;
    QVERIFY(panel.press(up));
    holding.start();
    while (holding.elapsed() < holdMs) {
        runEventLoop(100); // the hold itself
        const qint64 rss = residentKb();
        if (rssStart < 0 && holding.elapsed() >= warmMs) rssStart = rss;
        if (rssStart >= 0) rssPeak = qMax(rssPeak, rss);
        QVERIFY2(panel.timer1().isActive(), "the repeat stopped during the hold");
    }
    const qint64 rssEnd = residentKb();
    const qint64 releasedAt = monotonicUs();
    panel.release(up);
    const qint64 heldMs = holding.elapsed();
    const int writes = link.writes();

    QVERIFY(!panel.timer1().isActive());
    QVERIFY(!panel.timer2().isActive());
    QVERIFY(!panel.timer3().isActive());
    QVERIFY(panel.timer4().isActive());
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    QTRY_VERIFY_WITH_TIMEOUT(!panel.timer4().isActive(), 5000);
    const qint64 clearMs = sinceRelease.elapsed();
    QVERIFY2(clearMs >= 900, qPrintable(QStringLiteral("display clear after %1 ms").arg(clearMs)));
    QVERIFY(!panel.timer1().isActive());
    QVERIFY(!panel.timer2().isActive());
    QVERIFY(!panel.timer3().isActive());

    QVERIFY(sim.waitForLines(writes, 10000));
    // Every line has an acknowledgement of two bytes; all of them reach the panel too.
    QTRY_COMPARE_WITH_TIMEOUT(link.bytesRead, qint64(writes) * 2, 5000);

    const QList<SimProcess::LogLine> log = sim.log();
    QCOMPARE(log.size(), qsizetype(writes));
    QCOMPARE(link.written.value("C30\r"), 1);
    QCOMPARE(link.written.value("C3C\r"), writes - 1);
    QCOMPARE(link.failedWrites, 0);
    QCOMPARE(log.first().text, QByteArray("C30"));
    qint64 maxGapUs = 0;
    for (qsizetype i = 1; i < log.size(); ++i) {
        if (log[i].text != "C3C")
            QFAIL(qPrintable(QStringLiteral("line %1 arrived as \"%2\"")
                                 .arg(i)
                                 .arg(QString::fromLatin1(log[i].text))));
        if (i > 1) maxGapUs = qMax(maxGapUs, log[i].us - log[i - 1].us);
    }
    // Repeating until the very end, not stalled some time before the release; timed where the
    // lines are written, since the simulator's stamps add how late it was scheduled.
    const qint64 lastUs = link.writtenAtUs.last();
    QVERIFY2(releasedAt - lastUs < 500'000,
             qPrintable(QStringLiteral("last line %1 ms before the release")
                            .arg((releasedAt - lastUs) / 1000)));
    QCOMPARE(failures, QStringList());
    QCOMPARE(lost, QStringList());

    const double perSecond = (writes - 1) * 1000.0 / double(heldMs);
    qInfo("soak: held %lld ms, %d lines written, %d logged intact (%.1f/s, period %lld ms), "
          "largest gap %lld ms, %lld reply bytes",
          heldMs, writes, int(log.size()), perSecond, qint64(DigitalZoomPeriod.count()),
          maxGapUs / 1000, link.bytesRead);
    qInfo("soak: VmRSS %lld KiB after %lld ms, %lld KiB at the end (peak %lld KiB, "
          "growth %lld KiB, limit %lld KiB); display clear %lld ms after the release",
          rssStart, warmMs, rssEnd, rssPeak, rssEnd - rssStart, RssGrowthLimitKb, clearMs);
    if (!ResidentMemoryIsMeaningful)
        qInfo("soak: memory growth not checked under AddressSanitizer");
    else if (rssStart >= 0)
        QVERIFY2(rssEnd - rssStart <= RssGrowthLimitKb,
                 qPrintable(QStringLiteral("VmRSS grew by %1 KiB").arg(rssEnd - rssStart)));
}

QTEST_GUILESS_MAIN(SoakTest)
#include "tst_soak.moc"
