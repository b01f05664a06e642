// SPDX-License-Identifier: MIT
// The panel against the real projector-sim program on its pseudo-terminal: the real serial link,
// the real timers, and for a few cases the real window offscreen. Timing is loose here; the
// exact timelines are pinned on the virtual clock elsewhere.
#include "CountingLink.h"
#include "DeviceLink.h"
#include "Probes.h"
#include "Pty.h"
#include "Ser2Net.h"
#include "SimProcess.h"
#include "WindowRig.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstring>

using D = Exchange::Display;

namespace {

constexpr int Patience = SimProcess::Patience;

const OneShotButton &oneShot(const char *code)
{
    for (const OneShotButton &b : OneShotButtons)
        if (std::strcmp(b.code, code) == 0) return b;
    qFatal("no one-shot button sends %s", code);
}

// The panel without its window on the real link, with every display change, failed write,
// port warning and lost device recorded.
struct Rig
{
    struct Shown
    {
        qint64 us;
        D which;
        QString text;
    };

    DeviceLink link;
    Panel panel{link, PreciseTimer::factory()};
    QList<Shown> shown;
    QStringList failures;
    QStringList warnings;
    QStringList lost;

    explicit Rig(const QString &port1, const QString &port2 = absentDevice()) : link(port1, port2)
    {
        QObject::connect(&panel.exchange(), &Exchange::displayChanged, &panel,
                         [this](D which, const QString &text) {
                             shown.append({monotonicUs(), which, text});
                         });
        QObject::connect(&panel.exchange(), &Exchange::sendFailed, &panel,
                         [this](const LinkFailure &f) { failures << f.text(); });
        QObject::connect(&panel.ports(), &PortControl::warning, &panel,
                         [this](const LinkFailure &f) { warnings << f.text(); });
        QObject::connect(&link, &SerialLink::lost, &panel,
                         [this](const LinkFailure &f) { lost << f.text(); });
    }

    // Clicks and lets the reply window run out, so the next reply is not appended to this one.
    bool exchange(const char *code)
    {
        panel.click(oneShot(code));
        return QTest::qWaitFor([this] { return !panel.timer2().isActive(); }, Patience);
    }

    QStringList shownSince(qsizetype from, D which) const
    {
        QStringList texts;
        for (qsizetype i = from; i < shown.size(); ++i)
            if (shown[i].which == which) texts << shown[i].text;
        return texts;
    }

    // What the status display said for this read; empty when it said nothing.
    QString readStatus(const char *code)
    {
        const qsizetype from = shown.size();
        if (!exchange(code)) return QStringLiteral("<the reply window never closed>");
        QString last;
        for (const QString &s : shownSince(from, D::Status))
            if (!s.isEmpty()) last = s;
        // A read within a second of the last one finds the display not yet cleared; the same
        // text again is no change, so it is only to be seen on the display itself.
        return last.isEmpty() ? panel.exchange().display(D::Status) : last;
    }

    // Reads the status again and again until it says `until`; the distinct readings in order.
    QStringList statusesUntil(const QString &until, int maxReads = 20)
    {
        QStringList seen;
        for (int i = 0; i < maxReads && (seen.isEmpty() || seen.last() != until); ++i) {
            const QString s = readStatus("CR0");
            if (seen.isEmpty() || seen.last() != s) seen << s;
        }
        return seen;
    }
};

// A symbolic link that the simulator makes to its pseudo-terminal and removes when it goes:
// unlike a freed /dev/pts number, which another program may take at once, it is sure to be
// missing after an unplug, and a restarted simulator can take the same path again.
QString stablePath(const QTemporaryDir &dir)
{
    return dir.filePath(QStringLiteral("projector-%1").arg(QCoreApplication::applicationPid()));
}

} // namespace

class SystemTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oneShotCodesArriveInOrder();
    void statusReads_data();
    void statusReads();
    void powerSequence();
    void inputFollowsTheButtons();
    void silentDeviceIsMarked();
    void windowShowsTheExchange();
    void portSwitchReachesTheRightDevice();
    void heldButtonRepeatsUntilRelease_data();
    void heldButtonRepeatsUntilRelease();
    void deviceGoneIsReportedOnce();
    void deviceGoneMidHoldEndsTheRepeat();
    void deviceGoneShowsOneBox();
    void throughADeviceServer_data();
    void throughADeviceServer();
};

// Through the window's own buttons, so the wiring, the link and the wire are all in the path.
void SystemTest::oneShotCodesArriveInOrder()
{
    SimProcess sim;
    QVERIFY2(sim.start({}), sim.errors().constData());
    DeviceLink link(sim.device(), absentDevice());
    WindowRig rig(link, PreciseTimer::factory());
    QVERIFY2(rig.panel.load(), qPrintable(link.errorString()));

    QByteArrayList expected;
    for (const OneShotButton &b : OneShotButtons) {
        rig.click(b.name);
        expected << QByteArray(b.code);
    }
    QVERIFY(sim.waitForLines(expected.size()));
    // Nothing more may follow: a stray or doubled line would show up here.
    QTest::qWait(200);
    QCOMPARE(sim.lines(), expected);
    QCOMPARE(rig.boxes, QStringList());
}

void SystemTest::statusReads_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QString>("status");

    const auto row = [](const char *tag, QStringList args, const char *code, const char *status) {
        QTest::newRow(tag) << args << QByteArray(code) << QString::fromLatin1(status);
    };
    // Every reply and its words are in the unit table (tests/exchange/tst_status.cpp); here a
    // reply that trickles in over the real line, and one late but inside the window.
    row("split lamp hours", {"--split", "--hours", "4321"}, "CR3", " 4 3 2 1 Hour Use");
    row("late but inside the window", {"--delay", "300"}, "CR1", " Computer 1");
}

void SystemTest::statusReads()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QByteArray, code);
    QFETCH(QString, status);

    SimProcess sim;
    QVERIFY2(sim.start(simArgs), sim.errors().constData());
    Rig rig(sim.device());
    QVERIFY2(rig.panel.load(), qPrintable(rig.link.errorString()));
    QCOMPARE(rig.readStatus(code.constData()), status);
    QCOMPARE(rig.failures, QStringList());
    QCOMPARE(sim.lines(), QByteArrayList{code});
}

void SystemTest::powerSequence()
{
    SimProcess sim;
    // Long enough that the first read, after the 500 ms reply window, falls inside the count
    // down even on a busy machine.
    QVERIFY(sim.start({"--warmup", "2", "--cooldown", "2"}));
    Rig rig(sim.device());
    QVERIFY(rig.panel.load());

    QCOMPARE(rig.readStatus("CR0"), QStringLiteral(" Stand by"));
    QVERIFY(rig.exchange("C00"));
    QCOMPARE(rig.statusesUntil(QStringLiteral(" Power ON")),
             QStringList({" Count down", " Power ON"}));
    QVERIFY(rig.exchange("C02"));
    QCOMPARE(rig.statusesUntil(QStringLiteral(" Stand by")),
             QStringList({" Cooling down", " Stand by"}));
    QCOMPARE(rig.failures, QStringList());
}

void SystemTest::inputFollowsTheButtons()
{
    SimProcess sim;
    QVERIFY(sim.start({}));
    Rig rig(sim.device());
    QVERIFY(rig.panel.load());

    const std::pair<const char *, const char *> steps[] = {
        {"C06", " Computer 2"}, // PC 2
        {"C07", " Video"},
        {"C05", " Computer 1"}, // PC 1
        {"C06", " Computer 2"},
    };
    for (const auto &[code, status] : steps) {
        QVERIFY(rig.exchange(code));
        QCOMPARE(rig.readStatus("CR1"), QString::fromLatin1(status));
    }
}

void SystemTest::silentDeviceIsMarked()
{
    SimProcess sim;
    QVERIFY(sim.start({"--silent"}));
    Rig rig(sim.device());
    QVERIFY(rig.panel.load());

    const qsizetype from = rig.shown.size();
    const qint64 sentAt = monotonicUs();
    QVERIFY(rig.exchange("CR0"));
    QVERIFY(QTest::qWaitFor([&] { return !rig.panel.timer4().isActive(); }, Patience));
    // The mark when the reply window closes, then the display clear.
    QCOMPARE(rig.shownSince(from, D::Rxd), QStringList({" X X X X", ""}));
    QCOMPARE(rig.shownSince(from, D::Status), QStringList());
    for (const Rig::Shown &s : std::as_const(rig.shown))
        if (s.text == QLatin1String(" X X X X"))
            QVERIFY2(s.us - sentAt >= 450'000, "the no-reply mark came before the reply window");
    QCOMPARE(sim.lines(), QByteArrayList{"CR0"});
}

void SystemTest::windowShowsTheExchange()
{
    SimProcess sim;
    QVERIFY(sim.start({"--hours", "1234"}));
    DeviceLink link(sim.device(), absentDevice());
    WindowRig rig(link, PreciseTimer::factory());
    QVERIFY(rig.panel.load());

    rig.click("Command46"); // L-TIME
    QTRY_COMPARE_WITH_TIMEOUT(rig.label("Label25"), QStringLiteral(" 1 2 3 4 Hour Use"), Patience);
    QCOMPARE(rig.label("Label11"), QStringLiteral(" C R 3 CR "));
    QCOMPARE(rig.label("Label12"), QStringLiteral(" 1 2 3 4 CR "));
    // The display clear empties all three.
    QTRY_COMPARE_WITH_TIMEOUT(rig.label("Label25"), QString(), Patience);
    QCOMPARE(rig.label("Label11"), QString());
    QCOMPARE(rig.label("Label12"), QString());
    QCOMPARE(rig.boxes, QStringList());
}

void SystemTest::portSwitchReachesTheRightDevice()
{
    SimProcess one, two;
    QVERIFY(one.start({"--input", "1"}));
    QVERIFY(two.start({"--input", "3"}));
    Rig rig(one.device(), two.device());
    QVERIFY(rig.panel.load());

    QCOMPARE(rig.readStatus("CR1"), QStringLiteral(" Computer 1"));
    rig.panel.ports().selectPort(2);
    QCOMPARE(rig.warnings, QStringList());
    QVERIFY(rig.link.isOpen());
    QCOMPARE(rig.link.portNumber(), 2);
    QCOMPARE(rig.readStatus("CR1"), QStringLiteral(" Video"));
    QVERIFY(rig.exchange("C00"));

    rig.panel.ports().selectPort(1);
    QCOMPARE(rig.warnings, QStringList());
    // Only the projector on port 2 was switched on.
    QCOMPARE(rig.readStatus("CR0"), QStringLiteral(" Stand by"));
    rig.panel.ports().selectPort(2);
    QCOMPARE(rig.readStatus("CR0"), QStringLiteral(" Count down"));

    QCOMPARE(one.lines(), QByteArrayList({"CR1", "CR0"}));
    QCOMPARE(two.lines(), QByteArrayList({"CR1", "C00", "CR0"}));
}

void SystemTest::heldButtonRepeatsUntilRelease_data()
{
    QTest::addColumn<bool>("throughWindow");
    QTest::newRow("panel") << false;
    QTest::newRow("window, mouse") << true;
}

void SystemTest::heldButtonRepeatsUntilRelease()
{
    QFETCH(bool, throughWindow);
    SimProcess sim;
    QVERIFY(sim.start({}));
    DeviceLink real(sim.device(), absentDevice());
    CountingLink link(real);
    WindowRig rig(link, PreciseTimer::factory());
    Panel &panel = rig.panel;
    QVERIFY(panel.load());

    const auto volUp = QLatin1StringView("Command1"); // VOL +, C09
    QPushButton *button = throughWindow ? rig.get<QPushButton>(volUp) : nullptr;
    const qint64 pressedAt = monotonicUs();
    if (button)
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(4, 4));
    else
        panel.press(volUp);
    runEventLoop(1000); // the hold itself
    if (button)
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(4, 4));
    else
        panel.release(volUp);
    const qint64 releasedAt = monotonicUs();
    QVERIFY(!panel.timer1().isActive());
    QTest::qWait(600); // a repeat that outlived the release would be written in this time

    // Timed where the lines are written: the simulator's own stamps would add how late it was
    // scheduled on a busy machine.
    const QList<qint64> at = link.writtenAtUs;
    const qint64 heldMs = (releasedAt - pressedAt) / 1000;
    QVERIFY2(at.size() >= 2 && at.size() <= 1 + heldMs / 250,
             qPrintable(QStringLiteral("%1 lines in a hold of %2 ms").arg(at.size()).arg(heldMs)));
    for (qsizetype i = 0; i < at.size(); ++i) {
        QVERIFY(at[i] >= pressedAt && at[i] <= releasedAt);
        if (i > 0)
            QVERIFY2(at[i] - at[i - 1] >= 250'000,
                     qPrintable(QStringLiteral("lines %1 us apart").arg(at[i] - at[i - 1])));
    }
    QVERIFY(sim.waitForLines(at.size()));
    QCOMPARE(sim.lines(), QByteArrayList(at.size(), "C09"));
    QCOMPARE(rig.boxes, QStringList());
}

void SystemTest::deviceGoneIsReportedOnce()
{
    QTemporaryDir dir;
    const QString device = stablePath(dir);
    SimProcess sim;
    QVERIFY(sim.start({"--unplug-after", "1", "--link", device}));
    Rig rig(device);
    QVERIFY2(rig.panel.load(), qPrintable(rig.link.errorString()));
    rig.panel.click(oneShot("CR0"));
    QVERIFY(sim.waitForLines(1));

    QTRY_COMPARE_WITH_TIMEOUT(rig.lost.size(), 1, Patience);
    QVERIFY2(rig.lost.first().contains(device), qPrintable(rig.lost.first()));
    QVERIFY(!rig.link.isOpen());
    QVERIFY(sim.waitForExit());
    QTest::qWait(300); // a repeated report would come in this time
    QCOMPARE(rig.lost.size(), 1);
    QCOMPARE(rig.failures, QStringList());

    // Later buttons report the port, each once, and nothing is left running; the words are
    // the window's table (deviceLost).
    rig.panel.click(oneShot("CR0"));
    QCOMPARE(rig.failures.size(), 1);
    QVERIFY2(rig.failures.last().contains(device), qPrintable(rig.failures.last()));
    QVERIFY(!rig.panel.timer2().isActive());
    const auto volUp = QLatin1StringView("Command1"); // VOL +, C09
    rig.panel.press(volUp);
    QCOMPARE(rig.failures.size(), 2);
    QVERIFY(!rig.panel.timer1().isActive());
    rig.panel.release(volUp);

    // Choosing the port again says the device is missing, and the panel goes on.
    rig.panel.ports().selectPort(1);
    QCOMPARE(rig.warnings.size(), 1);
    QVERIFY2(rig.warnings.first().contains(QLatin1String("does not exist")),
             qPrintable(rig.warnings.first()));
    QVERIFY(rig.warnings.first().contains(device));
    QVERIFY(!rig.link.isOpen());

    // Once it is back, choosing the port again is all it takes.
    SimProcess back;
    QVERIFY2(back.start({"--link", device}), back.errors().constData());
    rig.panel.ports().selectPort(1);
    QCOMPARE(rig.warnings.size(), 1);
    QVERIFY(rig.link.isOpen());
    QCOMPARE(rig.readStatus("CR0"), QStringLiteral(" Stand by"));
    QCOMPARE(back.lines(), QByteArrayList{"CR0"});
    QCOMPARE(rig.lost.size(), 1);
}

void SystemTest::deviceGoneMidHoldEndsTheRepeat()
{
    QTemporaryDir dir;
    const QString device = stablePath(dir);
    SimProcess sim;
    QVERIFY(sim.start({"--unplug-after", "1", "--link", device}));
    Rig rig(device);
    QVERIFY(rig.panel.load());

    const auto volUp = QLatin1StringView("Command1"); // VOL +, C09
    rig.panel.press(volUp);
    QTRY_COMPARE_WITH_TIMEOUT(rig.lost.size(), 1, Patience);
    // The next tick finds the port closed, says so once and stops repeating.
    QTRY_VERIFY_WITH_TIMEOUT(!rig.panel.timer1().isActive(), Patience);
    QCOMPARE(rig.failures.size(), 1);
    QTest::qWait(600);
    QCOMPARE(rig.failures.size(), 1);
    QCOMPARE(rig.lost.size(), 1);
    rig.panel.release(volUp);
    QCOMPARE(rig.failures.size(), 1);

    const QByteArrayList lines = sim.lines();
    QVERIFY(lines.size() >= 3);
    QCOMPARE(lines, QByteArrayList(lines.size(), "C09"));
}

void SystemTest::deviceGoneShowsOneBox()
{
    QTemporaryDir dir;
    const QString device = stablePath(dir);
    SimProcess sim;
    QVERIFY(sim.start({"--unplug-after", "1", "--link", device}));
    DeviceLink link(device, absentDevice());
    WindowRig rig(link, PreciseTimer::factory());
    QVERIFY(rig.panel.load());
    QVERIFY(rig.show());

    QTRY_COMPARE_WITH_TIMEOUT(rig.boxes.size(), 1, Patience);
    QVERIFY2(rig.boxes.first().contains(device), qPrintable(rig.boxes.first()));
    QVERIFY(rig.boxes.first().contains(QLatin1String("gone away")));
    QTest::qWait(300);
    QCOMPARE(rig.boxes.size(), 1);

    // What a click says while the device is away is the window's own table (deviceLost).
    rig.click("Command33"); // COM
    QVERIFY(rig.get("Frame8")->isVisible());
    rig.get<QRadioButton>("Option1")->click();
    QCOMPARE(rig.boxes.size(), 2);
    QVERIFY2(rig.boxes.last().contains(QLatin1String("does not exist")),
             qPrintable(rig.boxes.last()));
    QTest::qWait(300);
    QCOMPARE(rig.boxes.size(), 2);
    QVERIFY(rig.form.isVisible());
}

void SystemTest::throughADeviceServer_data()
{
    QTest::addColumn<Ser2Net::Kind>("kind");
    QTest::newRow("raw TCP") << Ser2Net::Kind::Raw;
    QTest::newRow("RFC 2217") << Ser2Net::Kind::Rfc2217;
}

// ser2net on 127.0.0.1 in front of a pseudo-terminal that the test answers as the projector.
// The network link's own cases (bytes, line settings, failures, the backoff) are in
// tests/integration; here the panel goes through it, and finds the server again by itself.
void SystemTest::throughADeviceServer()
{
    QFETCH(Ser2Net::Kind, kind);
    Pty pty;
    Ser2Net server(kind, pty.device());
    QVERIFY(server.start());
    Rig rig(server.url());
    QVERIFY2(rig.panel.load(), qPrintable(rig.link.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(rig.link.isOpen(), Patience); // connected from the event loop

    const auto statusRead = [&] {
        rig.panel.click(oneShot("CR0"));
        if (pty.read(4) != "CR0\r") return QStringLiteral("<no CR0 at the device>");
        pty.send("80\r");
        const bool shown = QTest::qWaitFor(
            [&] { return !rig.panel.exchange().display(D::Status).isEmpty(); }, Patience);
        return shown ? rig.panel.exchange().display(D::Status) : QStringLiteral("<no status>");
    };
    QCOMPARE(statusRead(), QStringLiteral(" Stand by"));

    int restored = 0;
    QObject::connect(&rig.link, &SerialLink::restored, &rig.panel, [&] { ++restored; });
    server.kill();
    QTRY_COMPARE_WITH_TIMEOUT(rig.lost.size(), 1, Patience);
    QVERIFY(server.start());
    QTRY_COMPARE_WITH_TIMEOUT(restored, 1, 4 * Patience);
    QCOMPARE(statusRead(), QStringLiteral(" Stand by"));
}

int main(int argc, char *argv[])
{
    // The window is built without a screen, also when the test is run by hand.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SystemTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
