// SPDX-License-Identifier: MIT
#include "LineFramer.h"
#include "LineShaping.h"
#include "SimOptions.h"
#include "Simulator.h"

#include <QTest>

#include <string>
#include <vector>

#include <grp.h>
#include <unistd.h>

using namespace sim;
using namespace std::chrono_literals;

namespace {

QStringList lines(const std::vector<std::string> &v)
{
    QStringList out;
    for (const std::string &s : v) out << QString::fromLatin1(s.data(), int(s.size()));
    return out;
}

QByteArray joined(const std::deque<std::string> &writes)
{
    QByteArray out;
    for (const std::string &w : writes) out += QByteArray::fromStdString(w);
    return out;
}

} // namespace

class TestSimLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framing_data();
    void framing();
    void framingBoundsAnOverlongLine();
    void escaping_data();
    void escaping();

    void schedule_data();
    void schedule();

    void noiseKeepsTheReplyReadable();
    void noiseRateBounds();
    void floodBytes_data();
    void floodBytes();

    void simulatorAnswersSplitInput();
    void simulatorSilentStillReportsLines();
    void simulatorDelaysReplies();
    void simulatorFaultSetsInOnTime();

    void options_data();
    void options();
    void optionValues();
};

void TestSimLine::framing_data()
{
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("pending");

    QTest::newRow("one command in one read") << QStringList{"CR0\r"} << QStringList{"CR0"} << "";
    QTest::newRow("command split over reads")
        << QStringList{"C", "R", "0", "\r"} << QStringList{"CR0"} << "";
    QTest::newRow("CR alone in the next read")
        << QStringList{"C09", "\r"} << QStringList{"C09"} << "";
    QTest::newRow("several commands in one read")
        << QStringList{"CR0\rC00\rCR1\r"} << QStringList{"CR0", "C00", "CR1"} << "";
    QTest::newRow("split across the boundary of two commands")
        << QStringList{"CR0\rC0", "0\rCR"} << QStringList{"CR0", "C00"} << "CR";
    QTest::newRow("no CR yet") << QStringList{"C3C"} << QStringList{} << "C3C";
    QTest::newRow("empty line") << QStringList{"\r\r"} << QStringList{"", ""} << "";
    QTest::newRow("line feed belongs to the next line")
        << QStringList{"CR0\r\nCR1\r"} << QStringList{"CR0", "\nCR1"} << "";
    QTest::newRow("empty reads change nothing")
        << QStringList{"", "CR", "", "0\r", ""} << QStringList{"CR0"} << "";
}

void TestSimLine::framing()
{
    QFETCH(QStringList, reads);
    QFETCH(QStringList, lines);
    QFETCH(QString, pending);

    LineFramer framer;
    QStringList got;
    for (const QString &r : reads) got += ::lines(framer.feed(r.toStdString()));
    QCOMPARE(got, lines);
    QCOMPARE(QString::fromStdString(framer.pending()), pending);
}

void TestSimLine::framingBoundsAnOverlongLine()
{
    LineFramer framer(4);
    QCOMPARE(lines(framer.feed("ABCDEFGHIJ\r")), (QStringList{"ABCD", "EFGH", "IJ"}));
    QVERIFY(framer.pending().empty());
}

void TestSimLine::escaping_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("escaped");

    QTest::newRow("printable stays") << QByteArray("C09") << "C09";
    QTest::newRow("space and tilde stay") << QByteArray(" ~") << " ~";
    QTest::newRow("control bytes") << QByteArray("\x06\n", 2) << "\\x06\\x0A";
    QTest::newRow("nul") << QByteArray("C\0"
                                       "0",
                                       3)
                         << "C\\x000";
    QTest::newRow("DEL and high bytes") << QByteArray("\x7F\x80\xFF") << "\\x7F\\x80\\xFF";
    QTest::newRow("backslash itself") << QByteArray("a\\b") << "a\\x5Cb";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestSimLine::escaping()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, escaped);
    QCOMPARE(QString::fromStdString(escapeLine(line.toStdString())), escaped);
}

void TestSimLine::schedule_data()
{
    QTest::addColumn<qint64>("delayMs");
    QTest::addColumn<bool>("split");
    QTest::addColumn<QStringList>("pushes");   // "ms bytes"
    QTest::addColumn<QStringList>("expected"); // "ms bytes": each write and when it is due

    QTest::newRow("at once, whole")
        << qint64(0) << false << QStringList{"10 80\r"} << QStringList{"10 80\r"};
    QTest::newRow("delayed, whole")
        << qint64(250) << false << QStringList{"10 80\r"} << QStringList{"260 80\r"};
    QTest::newRow("split, one byte every gap")
        << qint64(0) << true << QStringList{"0 0123\r"}
        << QStringList{"0 0", "5 1", "10 2", "15 3", "20 \r"};
    QTest::newRow("split and delayed")
        << qint64(100) << true << QStringList{"0 11\r"} << QStringList{"100 1", "105 1", "110 \r"};
    QTest::newRow("two whole replies keep their order")
        << qint64(0) << false << QStringList{"0 80\r", "1 1\r"} << QStringList{"0 80\r", "1 1\r"};
    QTest::newRow("a split reply waits for the previous one")
        << qint64(0) << true << QStringList{"0 80\r", "3 1\r"}
        << QStringList{"0 8", "5 0", "10 \r", "15 1", "20 \r"};
    QTest::newRow("a later split reply keeps its own time")
        << qint64(0) << true << QStringList{"0 1\r", "100 2\r"}
        << QStringList{"0 1", "5 \r", "100 2", "105 \r"};
    QTest::newRow("nothing to send schedules nothing")
        << qint64(0) << true << QStringList{"0 "} << QStringList{};
}

void TestSimLine::schedule()
{
    QFETCH(qint64, delayMs);
    QFETCH(bool, split);
    QFETCH(QStringList, pushes);
    QFETCH(QStringList, expected);

    auto parse = [](const QString &entry) {
        const int space = entry.indexOf(QLatin1Char(' '));
        return std::make_pair(SimTime(std::chrono::milliseconds(entry.left(space).toLongLong())),
                              entry.mid(space + 1).toStdString());
    };
    WriteSchedule::Timing timing;
    timing.delay = std::chrono::milliseconds(delayMs);
    timing.split = split;
    timing.splitGap = 5ms;
    WriteSchedule schedule(timing);
    for (const QString &p : pushes) {
        const auto [at, bytes] = parse(p);
        schedule.push(bytes, at);
    }
    for (const QString &e : expected) {
        const auto [due, bytes] = parse(e);
        QVERIFY(schedule.nextDue().has_value());
        QCOMPARE(schedule.nextDue()->count(), due.count());
        QVERIFY2(schedule.takeDue(due - 1us).empty(), "handed out before it was due");
        const std::deque<std::string> w = schedule.takeDue(due);
        QCOMPARE(int(w.size()), 1);
        QCOMPARE(w.front(), bytes);
    }
    QVERIFY(schedule.empty());
    QVERIFY(!schedule.nextDue());
}

void TestSimLine::noiseKeepsTheReplyReadable()
{
    NoiseMixer noise(7, 1.0);
    int noisy = 0;
    for (const std::string reply : {"80\r", "\x06\r", "0123\r", "1\r"}) {
        for (int i = 0; i < 200; ++i) {
            const std::string mixed = noise.mix(reply);
            std::string kept;
            for (char c : mixed)
                if (!NoiseMixer::isNoise(static_cast<unsigned char>(c))) kept += c;
            QCOMPARE(kept, reply);
            QCOMPARE(mixed.back(), '\r');
            QVERIFY(mixed.size() > reply.size());
            QVERIFY(mixed.size() <= reply.size() + 3);
            noisy += int(mixed.size() - reply.size());
        }
    }
    QVERIFY(noisy > 800); // one to three bytes each, not always the same count
    QVERIFY(noisy < 2400);
}

void TestSimLine::noiseRateBounds()
{
    QCOMPARE(NoiseMixer(1, 0.0).mix("80\r"), std::string("80\r"));
    QCOMPARE(NoiseMixer(1, 1.0).mix(""), std::string());

    NoiseMixer some(3, 0.3);
    int dirtied = 0;
    for (int i = 0; i < 1000; ++i) dirtied += some.mix("80\r") != "80\r";
    QVERIFY2(dirtied > 200 && dirtied < 400, qPrintable(QString::number(dirtied)));

    // The same seed gives the same run, so a run can be repeated.
    NoiseMixer a(99), b(99);
    for (int i = 0; i < 50; ++i) QCOMPARE(a.mix("0123\r"), b.mix("0123\r"));
}

void TestSimLine::floodBytes_data()
{
    QTest::addColumn<bool>("unprintable");
    QTest::newRow("printable") << false;
    QTest::newRow("with unprintables") << true;
}

void TestSimLine::floodBytes()
{
    QFETCH(bool, unprintable);
    FloodSource flood(2s, unprintable, 5);
    QVERIFY(flood.active(0s));
    std::string all;
    for (SimTime t = 0s; t < 2s; t += 100ms) {
        const std::string chunk = flood.take(512, t);
        QCOMPARE(int(chunk.size()), 512);
        all += chunk;
    }
    int outside = 0;
    for (char c : all) {
        const auto b = static_cast<unsigned char>(c);
        outside += b < 0x20 || b > 0x7E;
    }
    if (unprintable)
        QVERIFY(outside > 5000); // about 63% of 10240
    else
        QCOMPARE(outside, 0);

    QVERIFY(!flood.active(2s));
    QVERIFY(flood.take(512, 2s).empty());
    QVERIFY(flood.take(512, 1h).empty());
}

void TestSimLine::simulatorAnswersSplitInput()
{
    Simulator sim(Simulator::Behaviour{}, 0s);
    QVERIFY(sim.receive("C", 1ms).empty());
    QVERIFY(sim.receive("R0", 2ms).empty());
    auto got = sim.receive("\rC00\rCR", 3ms);
    QCOMPARE(int(got.size()), 2);
    QCOMPARE(got[0].text, std::string("CR0"));
    QCOMPARE(got[0].at.count(), SimTime(3ms).count());
    QCOMPARE(got[0].reply, std::string("80\r"));
    QCOMPARE(got[1].text, std::string("C00"));
    QCOMPARE(joined(sim.takeDue(3ms)), QByteArray("80\r\x06\r"));

    got = sim.receive("0\r", 4ms);
    QCOMPARE(int(got.size()), 1);
    QCOMPARE(joined(sim.takeDue(4ms)), QByteArray("40\r"));
    QVERIFY(!sim.nextEvent());
}

void TestSimLine::simulatorSilentStillReportsLines()
{
    Simulator::Behaviour b;
    b.silent = true;
    Simulator sim(b, 0s);
    const auto got = sim.receive("CR0\rC00\r", 1ms);
    QCOMPARE(int(got.size()), 2);
    QVERIFY(sim.takeDue(1h).empty());
    QVERIFY(!sim.nextEvent());
    // Silence hides the replies, not the device: it still powered on.
    sim.advance(1ms);
    QCOMPARE(sim.model().power(), ProjectorModel::Power::CountDown);
}

void TestSimLine::simulatorDelaysReplies()
{
    Simulator::Behaviour b;
    b.timing.delay = 300ms;
    Simulator sim(b, 0s);
    sim.receive("CR0\r", 1s);
    QCOMPARE(sim.nextEvent()->count(), SimTime(1300ms).count());
    QVERIFY(sim.takeDue(1299ms).empty());
    QCOMPARE(joined(sim.takeDue(1300ms)), QByteArray("80\r"));
}

void TestSimLine::simulatorFaultSetsInOnTime()
{
    Simulator::Behaviour b;
    b.fault = ProjectorModel::Fault::Temperature;
    b.faultAfter = 5s;
    Simulator sim(b, 10s);
    QCOMPARE(sim.nextEvent()->count(), SimTime(15s).count());
    sim.receive("C00\r", 11s);
    // Noticed only at 17 s but dated 15 s, when it was due: cooling down ends at 18 s, not 20.
    sim.takeDue(11s);
    sim.receive("CR0\r", 17s);
    QCOMPARE(joined(sim.takeDue(17s)), QByteArray("28\r"));
    sim.receive("CR0\r", 18s);
    QCOMPARE(joined(sim.takeDue(18s)), QByteArray("88\r"));
}

void TestSimLine::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");

    const int run = int(ParsedArguments::Action::Run);
    const int error = int(ParsedArguments::Action::Error);
    QTest::newRow("no options") << QStringList{} << run;
    QTest::newRow("help") << QStringList{"--help"} << int(ParsedArguments::Action::Help);
    QTest::newRow("version") << QStringList{"--version"} << int(ParsedArguments::Action::Version);
    QTest::newRow("baud 9600") << QStringList{"--baud", "9600"} << run;
    QTest::newRow("baud 1200") << QStringList{"--baud", "1200"} << error;
    QTest::newRow("baud text") << QStringList{"--baud", "fast"} << error;
    QTest::newRow("warmup zero") << QStringList{"--warmup", "0"} << run;
    QTest::newRow("warmup fraction") << QStringList{"--warmup", "0.25"} << run;
    QTest::newRow("warmup negative") << QStringList{"--warmup", "-1"} << error;
    QTest::newRow("warmup not a number") << QStringList{"--warmup", "soon"} << error;
    QTest::newRow("warmup infinite") << QStringList{"--warmup", "inf"} << error;
    QTest::newRow("hour-seconds zero") << QStringList{"--hour-seconds", "0"} << error;
    QTest::newRow("hours too many") << QStringList{"--hours", "10000"} << error;
    QTest::newRow("hours negative") << QStringList{"--hours", "-1"} << error;
    QTest::newRow("input 4") << QStringList{"--input", "4"} << error;
    QTest::newRow("orientation 12") << QStringList{"--orientation", "12"} << error;
    QTest::newRow("fault unknown") << QStringList{"--fault", "smoke"} << error;
    QTest::newRow("delay negative") << QStringList{"--delay", "-5"} << error;
    QTest::newRow("flood zero") << QStringList{"--flood", "0"} << error;
    QTest::newRow("unplug at once") << QStringList{"--unplug-after", "0"} << run;
    QTest::newRow("link with device")
        << QStringList{"--device", "/dev/null", "--link", "/tmp/x"} << error;
    const QString ownGroup = QString::fromLocal8Bit(getgrgid(getgid())->gr_name);
    QTest::newRow("group") << QStringList{"--group", ownGroup} << run;
    QTest::newRow("group unknown") << QStringList{"--group", "no-such-group"} << error;
    QTest::newRow("group with device")
        << QStringList{"--device", "/dev/null", "--group", ownGroup} << error;
    QTest::newRow("unknown option") << QStringList{"--colour"} << error;
    QTest::newRow("stray argument") << QStringList{"now"} << error;
    QTest::newRow("missing value") << QStringList{"--delay"} << error;
}

void TestSimLine::options()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    const ParsedArguments parsed = parseArguments(QStringList{"projector-sim"} + args);
    QVERIFY2(int(parsed.action) == action, qPrintable(parsed.text));
    if (parsed.action != ParsedArguments::Action::Run) QVERIFY(!parsed.text.isEmpty());
}

void TestSimLine::optionValues()
{
    // The defaults the panel's users are told about.
    const Options d = parseArguments({"projector-sim"}).options;
    QCOMPARE(d.baud, 19200);
    QCOMPARE(d.behaviour.model.warmup.count(), SimTime(3s).count());
    QCOMPARE(d.behaviour.model.cooldown.count(), SimTime(3s).count());
    QCOMPARE(d.behaviour.model.startHours, 123);
    QCOMPARE(d.behaviour.model.lampHour.count(), SimTime(1h).count());
    QVERIFY(!d.unplugAfter);
    QVERIFY(!d.group);

    // Seconds may be fractions and milliseconds are milliseconds: the units are easy to mix up.
    const Options o =
        parseArguments({"projector-sim", "--warmup", "1.5", "--delay", "250", "--split-gap", "2",
                        "--unplug-after", "0.001", "--fault", "temperature", "--fault-after", "4"})
            .options;
    QCOMPARE(o.behaviour.model.warmup.count(), SimTime(1500ms).count());
    QCOMPARE(o.behaviour.timing.delay.count(), SimTime(250ms).count());
    QCOMPARE(o.behaviour.timing.splitGap.count(), SimTime(2ms).count());
    QCOMPARE(o.unplugAfter->count(), SimTime(1ms).count());
    QCOMPARE(o.behaviour.fault, ProjectorModel::Fault::Temperature);
    QCOMPARE(o.behaviour.faultAfter.count(), SimTime(4s).count());
    const char *ownGroup = getgrgid(getgid())->gr_name;
    QCOMPARE(parseArguments({"projector-sim", "--group", ownGroup}).options.group, getgid());
}

QTEST_GUILESS_MAIN(TestSimLine)
#include "tst_simline.moc"
