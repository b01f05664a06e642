// SPDX-License-Identifier: MIT
// The press-and-hold buttons as exact timelines on virtual time: what is sent when, when the
// no-reply mark shows and when the displays blank.
#include "PanelRig.h"

#include <QTest>

using namespace std::chrono_literals;
using D = Exchange::Display;
using Times = QList<long long>;

namespace {
const QString Mark = QStringLiteral(" X X X X");

QList<PanelRig::Change> changesOf(const PanelRig &r, D which)
{
    QList<PanelRig::Change> out;
    for (const auto &c : r.changes)
        if (c.which == which) out << c;
    return out;
}
} // namespace

class HoldTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void volumeUpHeld600ms()
    {
        PanelRig r;
        r.press("Command1");
        r.at(600);
        r.release("Command1");
        r.at(5000);
        QCOMPARE(r.link.times(), (Times{0, 250, 500}));
        for (const auto &line : r.link.lines()) QCOMPARE(line, QByteArray("C09\r"));
        const QString sent = QStringLiteral(" C 0 9 CR ");
        QCOMPARE(changesOf(r, D::Txd), (QList<PanelRig::Change>{{0, D::Txd, sent},
                                                                {245, D::Txd, {}},
                                                                {250, D::Txd, sent},
                                                                {495, D::Txd, {}},
                                                                {500, D::Txd, sent},
                                                                {600, D::Txd, {}}}));
        QCOMPARE(
            changesOf(r, D::Rxd),
            (QList<PanelRig::Change>{
                {200, D::Rxd, Mark}, {245, D::Rxd, {}}, {450, D::Rxd, Mark}, {495, D::Rxd, {}}}));
        QVERIFY(!r.panel.timer1().isActive());
        QVERIFY(!r.panel.timer2().isActive());
        QVERIFY(!r.panel.timer4().isActive());
        QCOMPARE(r.panel.timer1().interval(), 250ms); // never restored
        QCOMPARE(r.panel.timer2().interval(), 500ms);
        QCOMPARE(r.panel.timer4().interval(), 1000ms);
        QCOMPARE(int(r.panel.repeatCode()), 0);
    }

    void fixedPeriods_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("reply");
        QTest::addColumn<int>("clear");
        const struct
        {
            const char *name, *line;
            int period, reply, clear;
        } rows[] = {
            {"Command1", "C09\r", 250, 200, 245},  {"Command2", "C0A\r", 250, 200, 245},
            {"Command15", "C47\r", 50, 25, 25},    {"Command35", "C46\r", 50, 25, 25},
            {"Command36", "C4B\r", 50, 25, 25},    {"Command37", "C4A\r", 50, 25, 25},
            {"Command48", "C30\r", 250, 200, 245}, {"Command49", "C31\r", 250, 200, 245},
            {"Command50", "C8E\r", 250, 200, 245}, {"Command51", "C8F\r", 250, 200, 245},
            {"Command6", "C3F\r", 500, 200, 245},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QString::fromLatin1(r.name) << QByteArray(r.line) << r.period
                                  << r.reply << r.clear;
    }
    void fixedPeriods()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, line);
        QFETCH(int, period);
        QFETCH(int, reply);
        QFETCH(int, clear);
        PanelRig r;
        const QByteArray n = name.toLatin1();
        r.press(n.constData());
        QCOMPARE(r.panel.timer2().interval(), std::chrono::milliseconds(reply));
        QCOMPARE(r.panel.timer4().interval(), std::chrono::milliseconds(clear));
        r.at(3 * period);
        QCOMPARE(r.link.times(), (Times{0, period, 2 * period, 3 * period}));
        for (const auto &l : r.link.lines()) QCOMPARE(l, line);
        // The mark and the blanking after each line come before the next line.
        QCOMPARE(changesOf(r, D::Rxd).first(), (PanelRig::Change{reply, D::Rxd, Mark}));
        r.release(n.constData());
        // Only the D.Zoom buttons' release switches the arrows to digital-zoom mode.
        const bool digitalZoom = name == "Command48" || name == "Command49";
        QCOMPARE(int(r.panel.cursorMode()), digitalZoom ? 3 : 0);
        QCOMPARE(r.panel.timer1().interval(),
                 digitalZoom ? 5ms : std::chrono::milliseconds(period));
        r.at(10000);
        QCOMPARE(r.link.writes.size(), qsizetype(4));
    }

    void arrowBeforeAnyMode()
    {
        PanelRig r;
        r.press("Command5");
        QCOMPARE(r.panel.timer2().interval(), 500ms);
        QCOMPARE(r.panel.timer4().interval(), 1000ms);
        r.at(650);
        QCOMPARE(r.link.times(), (Times{0, 200, 400, 600}));
        // Restarted by every line before it could tick: no mark, no blanking while held.
        QCOMPARE(changesOf(r, D::Rxd), QList<PanelRig::Change>{});
        r.release("Command5");
        r.at(1649);
        QCOMPARE(r.display(D::Txd), QString());
        QVERIFY(r.panel.timer4().isActive());
        r.at(1650);
        QVERIFY(!r.panel.timer4().isActive());
    }

    void arrowAfterModeButton_data()
    {
        QTest::addColumn<QString>("modeButton");
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("reply");
        QTest::addColumn<int>("clear");
        QTest::newRow("ZOOM") << "Command10" << 50 << 50 << 75;
        QTest::newRow("FOCUS") << "Command11" << 100 << 50 << 75;
        QTest::newRow("A-IMAGE") << "Command13" << 200 << 150 << 190;
        QTest::newRow("MENU ON") << "Command23" << 200 << 150 << 190;
    }
    void arrowAfterModeButton()
    {
        QFETCH(QString, modeButton);
        QFETCH(int, period);
        QFETCH(int, reply);
        QFETCH(int, clear);
        const std::pair<const char *, QByteArray> arrows[] = {{"Command5", "C3C\r"},
                                                              {"Command7", "C3D\r"},
                                                              {"Command9", "C3B\r"},
                                                              {"Command8", "C3A\r"}};
        for (const auto &[arrow, line] : arrows) {
            PanelRig r;
            r.click(modeButton.toLatin1().constData());
            r.at(2000);
            r.link.writes.clear();
            r.changes.clear();
            r.press(arrow);
            QCOMPARE(r.panel.timer2().interval(), std::chrono::milliseconds(reply));
            QCOMPARE(r.panel.timer4().interval(), std::chrono::milliseconds(clear));
            r.at(2000 + 2 * period);
            QCOMPARE(r.link.times(), (Times{2000, 2000 + period, 2000 + 2 * period}));
            QCOMPARE(r.link.lines(), QList<QByteArray>(3, line)); // the arrow's code in any mode
            if (reply < period) // the mark comes between two lines
                QCOMPARE(changesOf(r, D::Rxd).first(),
                         (PanelRig::Change{2000 + reply, D::Rxd, Mark}));
            r.release(arrow);
            QCOMPARE(r.panel.timer1().interval(), std::chrono::milliseconds(period)); // no D.Zoom
        }
    }

    void arrowAfterVolumeFollowsVolumePeriod()
    {
        PanelRig r;
        r.click("Command10"); // ZOOM: lens mode, 50 ms
        r.press("Command1");
        r.at(100);
        r.release("Command1");
        r.at(2000);
        r.link.writes.clear();
        r.press("Command8");
        QCOMPARE(r.panel.timer2().interval(), 50ms); // lens mode still picks the reply timing
        r.at(2500);
        QCOMPARE(r.link.times(), (Times{2000, 2250, 2500}));
    }

    void digitalZoomReleaseSwitchesArrows()
    {
        PanelRig r;
        r.press("Command48");
        r.at(500);
        QCOMPARE(r.link.times(), (Times{0, 250, 500}));
        QCOMPARE(int(r.panel.cursorMode()), 0); // only the release switches
        r.release("Command48");
        QCOMPARE(r.panel.timer1().interval(), 5ms);
        QCOMPARE(int(r.panel.cursorMode()), 3);
        r.at(3000);
        r.link.writes.clear();
        r.press("Command7");
        QCOMPARE(r.panel.timer2().interval(), 5ms);
        QCOMPARE(r.panel.timer4().interval(), 5ms);
        r.at(3050);
        r.release("Command7");
        Times expected;
        for (long long t = 3000; t <= 3050; t += 5) expected << t;
        QCOMPARE(r.link.times(), expected);
    }

    void releaseBlanksAtOnceAndStatusLater_data()
    {
        QTest::addColumn<int>("replyAt");
        QTest::newRow("display clear pending") << 0;
        QTest::newRow("display clear over: the release starts it again") << 1500;
    }
    void releaseBlanksAtOnceAndStatusLater()
    {
        QFETCH(int, replyAt);
        PanelRig r;
        r.click("Command44");
        r.at(replyAt);
        r.link.receive("00\r");
        QCOMPARE(r.display(D::Status), QStringLiteral(" Power ON"));
        const int releaseAt = replyAt + 100;
        r.at(releaseAt);
        r.release("Command1"); // a release ends whatever runs, even without its press
        QCOMPARE(r.display(D::Txd), QString());
        QCOMPARE(r.display(D::Rxd), QString());
        QCOMPARE(r.panel.exchange().replyText(), QString());
        QVERIFY(!r.panel.timer2().isActive());
        r.at(releaseAt + 999);
        QCOMPARE(r.display(D::Status), QStringLiteral(" Power ON"));
        r.at(releaseAt + 1000);
        QCOMPARE(r.display(D::Status), QString());
    }

    void oneShotAfterReleaseUsesNormalTiming()
    {
        PanelRig r;
        r.press("Command15");
        r.at(120);
        r.release("Command15");
        r.at(200);
        r.changes.clear();
        r.click("Command17");
        r.at(1200);
        QCOMPARE(changesOf(r, D::Rxd),
                 (QList<PanelRig::Change>{{700, D::Rxd, Mark}, {1200, D::Rxd, {}}}));
    }

    void secondPressWhileHolding()
    {
        PanelRig r;
        r.press("Command1");
        r.at(100);
        r.press("Command1"); // another mouse button on the same button
        r.at(600);
        QCOMPARE(r.link.times(), (Times{0, 100, 350, 600}));
    }

    void lostReleaseEndedByNextPressAndRelease()
    {
        PanelRig r;
        r.press("Command5"); // its release never comes
        r.at(1000);
        QCOMPARE(r.link.writes.size(), qsizetype(6));
        r.press("Command2");
        r.at(1100);
        r.release("Command2");
        const qsizetype sent = r.link.writes.size();
        r.at(5000);
        QCOMPARE(r.link.writes.size(), sent);
        QCOMPARE(r.link.lines().last(), QByteArray("C0A\r"));
    }

    void repeatBuildsLineFromTableNotCommandText()
    {
        PanelRig r;
        r.press("Command36");
        r.click("Command44"); // STATUS clicked by keyboard while Focus + is held
        r.at(50);
        QCOMPARE(r.link.lines(), (QList<QByteArray>{"C4B\r", "CR0\r", "C4B\r"}));
    }

    // The window's timers promise no order for ticks due at the same moment: the Lens buttons'
    // reply window and display clear (25 ms), and in digital-zoom mode the arrows' repeat, reply
    // window and display clear (5 ms).
    void sameMomentTicksInEitherOrder_data()
    {
        QTest::addColumn<QString>("before"); // held and released first
        QTest::addColumn<QString>("held");
        QTest::newRow("Zoom +") << QString() << "Command15";
        QTest::newRow("arrow in digital-zoom mode") << "Command48"
                                                    << "Command5";
    }
    void sameMomentTicksInEitherOrder()
    {
        QFETCH(QString, before);
        QFETCH(QString, held);
        QList<PanelRig::Change> changes[2];
        QList<QByteArray> lines[2];
        Times times[2];
        for (const bool reverse : {false, true}) {
            PanelRig r;
            r.clock.reverseTies = reverse;
            if (!before.isEmpty()) {
                r.press(qPrintable(before));
                r.release(qPrintable(before));
                r.at(2000);
            }
            const long long start = r.clock.now().count();
            r.link.writes.clear();
            r.changes.clear();
            r.press(qPrintable(held));
            r.at(start + 120);
            r.release(qPrintable(held));
            r.at(start + 2000);
            changes[reverse] = r.changes;
            lines[reverse] = r.link.lines();
            times[reverse] = r.link.times();
        }
        QVERIFY(times[0].size() >= 3);
        QCOMPARE(changes[1], changes[0]);
        QCOMPARE(lines[1], lines[0]);
        QCOMPARE(times[1], times[0]);
    }

    void deviceGoneMidHoldStopsAndReportsOnce()
    {
        PanelRig r;
        r.press("Command15");
        r.at(120);
        r.link.close(); // the adapter is pulled
        r.at(5000);
        QCOMPARE(r.failures.size(), 1);
        QCOMPARE(r.link.times(), (Times{0, 50, 100}));
        QVERIFY(!r.panel.timer1().isActive());
        QCOMPARE(int(r.panel.repeatCode()), 0);
        // A press on the closed port reports once and starts nothing.
        r.press("Command5");
        r.at(6000);
        QCOMPARE(r.failures.size(), 2);
        QVERIFY(!r.panel.timer1().isActive());
    }
};

QTEST_GUILESS_MAIN(HoldTest)
#include "tst_hold.moc"
