// SPDX-License-Identifier: MIT
// The real window on a line that pours out random bytes: clicks must still go out at once, the
// event loop must keep turning, and what the panel keeps of the torrent must stay bounded.
// PANEL_FLOOD_SECONDS runs it longer by hand; CI keeps the bounded default.
#include "CountingLink.h"
#include "Probes.h"
#include "SimProcess.h"
#include "WindowRig.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>

namespace {

constexpr double DefaultSeconds = 5;
constexpr int Patience = SimProcess::Patience;
// From a click to the device's log of its line; a flood in the other direction must not
// delay it. Loose, for a busy machine: a healthy run shows a few milliseconds.
constexpr qint64 ClickToLineLimitUs = 100'000;
constexpr qint64 StallLimitUs = 500'000;
constexpr qint64 RssGrowthLimitKb = 4096;
// The window's one-line label is handed no more than this of a trace.
constexpr qsizetype LabelLimit = 1024;

} // namespace

class FloodTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowStaysResponsive();
};

void FloodTest::windowStaysResponsive()
{
    const double seconds = secondsFromEnv("PANEL_FLOOD_SECONDS", DefaultSeconds);
    SimProcess sim;
    QVERIFY2(sim.start({"--noise", "--flood", QString::number(seconds)}), sim.errors().constData());
    DeviceLink real(sim.device(), absentDevice());
    CountingLink link(real);
    WindowRig rig(link, PreciseTimer::factory());
    Panel &panel = rig.panel;
    QVERIFY2(panel.load(), qPrintable(link.errorString()));
    QVERIFY(rig.show());
    auto *status = rig.get<QPushButton>(QStringLiteral("Command44"));

    // A heartbeat measures the longest turn of the event loop and samples what is kept.
    qint64 lastBeat = monotonicUs(), maxStallUs = 0;
    qsizetype maxReply = 0, maxRxd = 0, maxLabel = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(10);
    connect(&beat, &QTimer::timeout, this, [&] {
        const qint64 now = monotonicUs();
        maxStallUs = qMax(maxStallUs, now - lastBeat);
        lastBeat = now;
        maxReply = qMax(maxReply, panel.exchange().replyText().size());
        maxRxd = qMax(maxRxd, panel.exchange().display(Exchange::Display::Rxd).size());
        maxLabel = qMax(maxLabel, rig.label(QStringLiteral("Label12")).size());
    });
    // STATUS clicked from the event loop, as a person's click would come.
    QList<qint64> clickedAt;
    QTimer clicker;
    clicker.setTimerType(Qt::PreciseTimer);
    clicker.setInterval(250);
    connect(&clicker, &QTimer::timeout, this, [&] {
        clickedAt << monotonicUs();
        status->click();
    });

    const qint64 startedAt = monotonicUs();
    lastBeat = startedAt;
    beat.start();
    clicker.start();
    // Memory is measured from the point where the reply buffers have reached their size.
    QTest::qWait(qMin(1000, int(seconds * 250)));
    const qint64 rssStart = residentKb();
    const qint64 bytesAtStart = link.bytesRead;
    const qint64 measuredFrom = monotonicUs();
    QVERIFY(sim.waitFor(QProcess::StandardError, "flood over", int(seconds * 1000) + Patience));
    clicker.stop();
    beat.stop();
    const qint64 endedAt = monotonicUs();
    const qint64 floodUs = endedAt - startedAt;
    const qint64 rssEnd = residentKb();
    const qint64 floodBytes = link.bytesRead;

    // Every click's line reached the device intact and at once.
    QVERIFY(sim.waitForLines(clickedAt.size()));
    const QList<SimProcess::LogLine> log = sim.log();
    QCOMPARE(log.size(), clickedAt.size());
    QList<qint64> delays;
    for (qsizetype i = 0; i < log.size(); ++i) {
        QCOMPARE(log[i].text, QByteArray("CR0"));
        delays << log[i].us - clickedAt[i];
    }
    std::sort(delays.begin(), delays.end());
    QVERIFY(!delays.isEmpty());
    const qint64 medianUs = delays[delays.size() / 2];
    const qint64 worstUs = delays.last();
    QCOMPARE(link.written.value("CR0\r"), int(clickedAt.size()));
    QCOMPARE(link.failedWrites, 0);
    QCOMPARE(rig.boxes, QStringList());

    qInfo("flood: %.1f s, %lld bytes received in %lld reads (%.0f KiB/s), %d clicks",
          double(floodUs) / 1e6, floodBytes, link.reads,
          double(floodBytes - bytesAtStart) / 1024.0 / (double(endedAt - measuredFrom) / 1e6),
          int(clickedAt.size()));
    qInfo("flood: click to device median %.1f ms, worst %.1f ms; longest event-loop turn %.1f ms",
          double(medianUs) / 1000, double(worstUs) / 1000, double(maxStallUs) / 1000);
    qInfo("flood: ReplyText at most %lld chars, RXD trace at most %lld, RXD label at most %lld",
          qint64(maxReply), qint64(maxRxd), qint64(maxLabel));
    qInfo("flood: VmRSS %lld KiB after the first second, %lld KiB at the end (growth %lld KiB, "
          "limit %lld KiB)",
          rssStart, rssEnd, rssEnd - rssStart, RssGrowthLimitKb);

    QVERIFY2(
        worstUs < ClickToLineLimitUs,
        qPrintable(QStringLiteral("a click took %1 ms to reach the device").arg(worstUs / 1000)));
    QVERIFY2(
        maxStallUs < StallLimitUs,
        qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(maxStallUs / 1000)));
    QVERIFY(maxReply <= Exchange::MaxReplyLength);
    // At most four characters of trace ("ACK ", "LF  ") per character kept, after the blank.
    QVERIFY(maxRxd <= 1 + 4 * Exchange::MaxReplyLength);
    QVERIFY(maxLabel <= LabelLimit);
    if (!ResidentMemoryIsMeaningful)
        qInfo("flood: memory growth not checked under AddressSanitizer");
    else
        QVERIFY2(rssEnd - rssStart <= RssGrowthLimitKb,
                 qPrintable(QStringLiteral("VmRSS grew by %1 KiB").arg(rssEnd - rssStart)));

    // Once the line is quiet the status reads as usual. Noise spoils some replies, so a few
    // tries are allowed.
    qint64 seen = -1, changedAt = 0;
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (link.bytesRead != seen) {
                seen = link.bytesRead;
                changedAt = monotonicUs();
            }
            return monotonicUs() - changedAt > 300'000 && !panel.timer2().isActive();
        },
        Patience));
    bool read = false;
    for (int i = 0; i < 10 && !read; ++i) {
        rig.click(QStringLiteral("Command44"));
        read = QTest::qWaitFor(
            [&] { return rig.label(QStringLiteral("Label25")) == QLatin1String(" Stand by"); },
            900);
        QVERIFY(QTest::qWaitFor([&] { return !panel.timer2().isActive(); }, Patience));
    }
    QVERIFY2(read, "no status read after the flood");
    QCOMPARE(rig.boxes, QStringList());
}

int main(int argc, char *argv[])
{
    // The window is built without a screen, also when the test is run by hand.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FloodTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_flood.moc"
