// SPDX-License-Identifier: MIT
// One projector held by the service, on a fake link and virtual time: whose reply is whose, the
// bounds, a raw line's window, turns between commands and raw lines, the line's loss, the status
// poll and the state.
#include "HostRig.h"
#include "LineTrace.h"
#include "OwnLines.h"

#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using R = ProjectorHost::Refusal;
using Answers = QHash<QByteArray, QByteArray>;

// Logs what the host says, in order: "tx CLIENT SENDER LINE", "rx OWNER BYTES",
// "done ID REPLY [READING] [failed] [stopping]" (the reply as RXD would trace it, X X X X for
// none), "online"/"offline"; answers lines as the projector would.
struct Rig : HostRig
{
    QStringList log;

    explicit Rig(int poll = 0, Answers a = {}, bool missing = false, LineSettings settings = {})
        : HostRig({"p", "fake0", settings, std::chrono::seconds(poll)})
    {
        answers = std::move(a);
        if (missing) link->missingPorts = {0};
        QObject::connect(&host, &ProjectorHost::finished, &host, [this](const HostResult &r) {
            QStringList reading;
            const QVariantMap fields = readingFields(r.reading);
            for (auto it = fields.cbegin(); it != fields.cend(); ++it)
                reading << it.key() + '=' + it.value().toString();
            const QString reply = r.answered ? lineTrace(QString::fromLatin1(r.reply)).trimmed()
                                  : r.failure.isFailure() || r.stopping ? QString()
                                                                        : QStringLiteral("X X X X");
            log << QStringLiteral("done %1 %2%3%4%5")
                       .arg(r.id)
                       .arg(reply, reading.isEmpty() ? QString() : ' ' + reading.join(' '),
                            r.failure.isFailure() ? QStringLiteral(" failed") : QString(),
                            r.stopping ? QStringLiteral("stopping") : QString());
        });
        QObject::connect(&host, &ProjectorHost::received, &host,
                         [this](auto bytes, auto owner) { log << "rx " + owner + ' ' + bytes; });
        QObject::connect(&host, &ProjectorHost::onlineChanged, &host,
                         [this](bool on) { log << (on ? "online" : "offline"); });
        QObject::connect(&host, &ProjectorHost::lineSent, &host, [this](auto l, auto c, auto s) {
            log << "tx " + c + ' ' + s + ' ' + l.trimmed();
        });
        start();
    }
    // The id, or ~0 when the refusal is not the one expected. The client's key is ":NAME".
    quint64 ask(const QString &client, const char *code = "C00", R expected = R::None)
    {
        R why = R::None;
        const quint64 id = host.request(client, ':' + client, QLatin1String(code), &why);
        return why == expected && (id != 0) == (why == R::None) ? id : ~0ull;
    }
    QStringList take() { return std::exchange(log, {}); }
};

class HostTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachClientGetsItsOwnReplyInArrivalOrder()
    {
        Rig rig;
        QStringList expected{"online"};
        for (int i = 1; i <= 50; ++i) {
            const QString n = QString::number(i), code = 'C' + QString::number(i + 10);
            rig.answers.insert(code.toLatin1() + '\r', n.toLatin1() + '\r');
            QCOMPARE(rig.ask(n, qPrintable(code)), quint64(i));
            expected << "tx " + n + " :" + n + ' ' + code << "rx :" + n + ' ' + n + '\r'
                     << "done " + n + ' ' + n.split(QString()).join(u' ').trimmed() + " CR";
            QCOMPARE(rig.link->times().constLast(), (i - 1) * 500); // as the last window closed
            rig.at(i * 500);
        }
        QCOMPARE(rig.take(), expected);
        QCOMPARE(rig.clock.nextDue(), -1ms); // no poll: nothing runs
    }

    void boundsRefuseOnlyTheClientPastThem()
    {
        Rig rig;
        for (int i = 0; i <= ProjectorHost::MaxQueuedPerClient; ++i)
            QVERIFY(rig.ask("a")); // +1 sent
        QCOMPARE(rig.ask("a", "C00", R::Busy), 0u);
        for (int i = 0; i < ProjectorHost::MaxQueued - ProjectorHost::MaxQueuedPerClient; ++i)
            QVERIFY(rig.ask(QString::number(i % 3)));
        QCOMPARE(rig.ask("c", "C00", R::Busy), 0u);
        rig.at((ProjectorHost::MaxQueued + 1) * 500);
        QCOMPARE(rig.take().filter(QStringLiteral("done")).size(), ProjectorHost::MaxQueued + 1);
    }

    // A client writes a raw line every `period`, and again at linesWelcome unless it writes at
    // its ticks only or is gone at its first refusal. Each command queued meanwhile gets its own
    // reply, 100 ms after its line, within its bound, and raw lines go between commands.
    void commandsTakeTurnsWithRawLines_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("commands");
        QTest::addColumn<QString>("writer"); // "welcome", "ticks" or "gone"
        QTest::newRow("every 400 ms") << 400 << 3 << "welcome";
        QTest::newRow("every 50 ms, queue full") << 50 << ProjectorHost::MaxQueued << "welcome";
        QTest::newRow("every 50 ms, at ticks only") << 50 << 3 << "ticks";
        QTest::newRow("writer gone at its refusal") << 50 << 3 << "gone";
    }
    void commandsTakeTurnsWithRawLines()
    {
        QFETCH(int, period);
        QFETCH(int, commands);
        QFETCH(QString, writer);
        Rig rig(0, {{"CR0\r", "00\r"}});
        const auto ticks = rig.clock.makeTimer(), reply = rig.clock.makeTimer();
        const auto write = [&] {
            if (rig.host.writeLine("panel", ":p", "CR0\r") == R::Wait && writer == "gone")
                ticks->stop();
        };
        QObject::connect(ticks.get(), &IntervalTimer::timeout, write);
        QObject::connect(&rig.host, &ProjectorHost::linesWelcome, [&] {
            if (writer == "welcome") write();
        });
        long long lastRaw = 0, longestGap = 0;
        QObject::connect(&rig.host, &ProjectorHost::lineSent, [&](const QByteArray &l) {
            const long long now = rig.clock.now().count();
            if (l == "C00\r")
                reply->start();
            else
                longestGap = std::max(longestGap, now - std::exchange(lastRaw, now));
        });
        reply->setInterval(100ms);
        QObject::connect(reply.get(), &IntervalTimer::timeout, [&] {
            reply->stop();
            rig.link->receive("1\r");
        });
        QList<long long> answeredAt; // in the order asked
        QObject::connect(&rig.host, &ProjectorHost::finished, [&](const HostResult &r) {
            answeredAt << (r.reply == "1\r" ? rig.clock.now().count() : -1);
        });
        ticks->setInterval(std::chrono::milliseconds(period));
        ticks->start();
        write();
        rig.at(1);
        for (int i = 0; i < commands; ++i) QCOMPARE(rig.ask(QString::number(i)), quint64(i + 1));
        if (commands == ProjectorHost::MaxQueued) QCOMPARE(rig.ask("late", "C00", R::Busy), 0u);
        rig.at(ProjectorHost::MaxWait.count());
        QCOMPARE(answeredAt.size(), commands);
        for (int i = 0; i < commands; ++i)
            QVERIFY(answeredAt[i] > 0 && answeredAt[i] <= 1 + ProjectorHost::worstWait(i).count());
        QVERIFY(longestGap <= 1000 + period); // two reply windows
    }

    // Raw lines faster than the wire carries them wait, unsent, and are welcome once it is free.
    void rawLinesKeepToTheWire_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("onWire"); // ms, rounded up
        QTest::newRow("4 of 10 bits at 19200") << "19200,N,8,1" << 4 << 3;
        QTest::newRow("64 of 12 bits at 9600") << "9600,E,8,2" << 64 << 80;
    }
    void rawLinesKeepToTheWire()
    {
        QFETCH(QString, settings);
        QFETCH(int, bytes);
        QFETCH(int, onWire);
        Rig rig(0, {}, false, *LineSettings::parse(settings));
        int welcomed = 0;
        QObject::connect(&rig.host, &ProjectorHost::linesWelcome, [&] { ++welcomed; });
        const QByteArray line(bytes, 'C');
        QCOMPARE(rig.host.writeLine({}, {}, line), R::None);
        rig.at(onWire - 1);
        QCOMPARE(rig.host.writeLine({}, {}, line), R::Wait);
        QCOMPARE(rig.link->lines().size(), 1);
        rig.at(onWire);
        QCOMPARE(welcomed, 1);
        QCOMPARE(rig.host.writeLine({}, {}, line), R::None);

        // Through an OpenLine socket: a packet past the wire is held, the rest wait in the
        // socket, and all go in order as the wire frees.
        Rig own(0, {}, false, *LineSettings::parse(settings));
        OwnLines sockets(own.host);
        QString why;
        bool busy = false;
        const int fd = sockets.open(QStringLiteral("panel"), QStringLiteral(":1.5"), &why, &busy);
        QVERIFY2(fd >= 0, qPrintable(why));
        QList<QByteArray> packets;
        for (const char last : {'A', 'B', 'C'}) {
            packets << line.chopped(1) + last;
            QCOMPARE(::send(fd, packets.last().constData(), line.size(), 0), ssize_t(line.size()));
        }
        QTRY_COMPARE(own.link->lines().size(), 1); // B was read in the same turn, and held
        own.at(onWire);
        QCOMPARE(own.link->lines().size(), 2);
        own.at(2 * onWire);
        QTRY_COMPARE(own.link->lines().size(), 3);
        QCOMPARE(own.link->times(), QList<long long>({0, onWire, 2 * onWire}));
        QCOMPARE(own.link->lines(), packets);
        ::close(fd);
    }

    // A caller that leaves loses its waiting commands, unsent and unanswered; one of its on the
    // line finishes. At a stop every command waiting or on the line is told so, and nothing more
    // is sent or read.
    void leftAndStoppedSendNothingMore()
    {
        Rig rig(30);
        for (const char *client : {"a", "b", "b", "c", "d", "e"}) QVERIFY(rig.ask(client));
        rig.host.forget(":b"); // both its commands wait behind the poll's first read
        rig.at(600);
        rig.host.forget(":a"); // on the line
        rig.at(1600);
        rig.host.shutDown();
        QCOMPARE(rig.ask("f", "C00", R::Offline), 0u);
        QCOMPARE(rig.host.writeLine({}, {}, "C00\r"), R::Offline);
        rig.at(60000);
        QCOMPARE(rig.clock.nextDue(), -1ms);
        QCOMPARE(rig.take(), QStringList({"online", "tx projectord  CR0", "tx a :a C00",
                                          "done 2 X X X X", "tx c :c C00", "done 5 X X X X",
                                          "tx d :d C00", "done 6 stopping", "done 7 stopping"}));
        QCOMPARE(rig.link->lines().size(), 4);
    }

    void rawLineTakesOverTheWindow()
    {
        Rig rig;
        rig.ask("a", "CR0");
        rig.at(100);
        rig.link->receive("8");
        QCOMPARE(rig.host.writeLine("panel", ":1.7", "C00\r"), R::None);
        rig.at(200);
        rig.link->receive("0\r"); // the newer line's
        rig.at(700);
        rig.link->receive("x"); // late: no window is open
        QCOMPARE(rig.take(), QStringList({"online", "tx a :a CR0", "rx :a 8", "tx panel :1.7 C00",
                                          "done 1 8", "rx :1.7 0\r", "rx  x"}));
        for (const QByteArray &bad : {QByteArray(), QByteArray(65, 'C'), QByteArray("C\x80\r")})
            QCOMPARE(rig.host.writeLine({}, {}, bad), R::InvalidLine);
    }

    void offlineOrFailingLineLosesNothingUntold()
    {
        Rig rig(0, {}, true); // missing: waited for, not an error
        QCOMPARE(rig.ask("a", "C00", R::Offline), 0u);
        LinkFailure failure;
        QCOMPARE(rig.host.writeLine({}, {}, "C00\r", &failure), R::Offline);
        QCOMPARE(failure.cause, LinkFailure::Cause::Missing);
        rig.link->replug();
        for (const char *client : {"a", "b", "c", "d"}) QVERIFY(rig.ask(client));
        rig.at(500);
        rig.link->failWrites = true;
        rig.at(1000); // b's window closes, c fails and d goes on to fail
        QCOMPARE(rig.ask("e", "C00", R::WriteFailed), 0u);
        rig.link->failWrites = false;
        for (const char *client : {"f", "g", "h"}) QVERIFY(rig.ask(client));
        rig.link->unplug(); // the waiting ones fail at once; f's line is out
        rig.at(1500);
        QCOMPARE(rig.take(),
                 QStringList({"offline", "online", "tx a :a C00", "done 1 X X X X", "tx b :b C00",
                              "done 2 X X X X", "done 3  failed", "done 4  failed", "tx f :f C00",
                              "offline", "done 7  failed", "done 8  failed", "done 6 X X X X"}));
    }

    // A line that changes the power or the input, a client's command or a raw line, is followed
    // by a read of that state as soon as its window closes; not where no reads are wanted.
    void changesAreReadBack_data()
    {
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<int>("poll");
        QTest::addColumn<QString>("after"); // the lines sent, from the change on
        QTest::newRow("power on") << false << QByteArray("C00") << 30 << "C00 CR0";
        QTest::newRow("power off, raw") << true << QByteArray("C02") << 30 << "C02 CR0";
        QTest::newRow("input") << false << QByteArray("C07") << 30 << "C07 CR1";
        QTest::newRow("input, raw") << true << QByteArray("C05") << 30 << "C05 CR1";
        QTest::newRow("mute") << false << QByteArray("C0D") << 30 << "C0D";
        QTest::newRow("no reads wanted") << false << QByteArray("C00") << 0 << "C00";
    }
    void changesAreReadBack()
    {
        QFETCH(bool, raw);
        QFETCH(QByteArray, code);
        QFETCH(int, poll);
        QFETCH(QString, after);
        Rig rig(poll, {{"CR0\r", "40\r"}, {"CR1\r", "1\r"}});
        rig.at(3000); // the start's round of reads is over
        rig.take();
        if (raw)
            QCOMPARE(rig.host.writeLine("panel", ":1.2", code + '\r'), R::None);
        else
            QVERIFY(rig.ask("a", code.constData()) != ~0ull);
        rig.at(4100); // its window, then the read's
        QStringList sent = rig.take().filter(QRegularExpression("^tx "));
        sent.replaceInStrings(QRegularExpression("^tx .* "), QString());
        QCOMPARE(sent.join(' '), after);
        if (after.endsWith("CR0")) QCOMPARE(name(rig.host.state().power.value), "warming-up");
    }

    void pollReadsWhenQuietAndKeepsTheState()
    {
        Rig rig(30, {{"CR0\r", "80\r"}, {"CR1\r", "3\r"}, {"CR3\r", "0123\r"}, {"CR4\r", "11\r"}});
        rig.at(2000);
        QCOMPARE(rig.take().filter(QRegularExpression("^(tx projectord  CR[0134]|rx  )")).size(),
                 8);
        const ProjectorState &s = rig.host.state();
        const auto state = [&s] {
            return QStringLiteral("%1 %2 %3 %4")
                .arg(name(s.power.value), name(s.input.value))
                .arg(s.lampHours.value)
                .arg(name(s.orientation.value));
        };
        QCOMPARE(state(), QStringLiteral("standby video 123 normal"));
        QCOMPARE(rig.clock.nextDue(), 32s); // nothing else runs until the next poll
        rig.at(31900);
        rig.ask("a", "C0D"); // no change of power or input, which a read would follow at once
        rig.at(33500);       // due at 32 s while a's window is open: a quiet window after it closes
        QCOMPARE(rig.link->times().mid(4, 3), QList<long long>({31900, 32900, 33400}));
        // A client's status read and a raw one count as the poll's do.
        rig.answers = {{"CR0\r", "00\r"}};
        rig.at(60000);
        rig.ask("a", "CR0");
        rig.at(60500);
        QCOMPARE(state(), QStringLiteral("on video 123 normal"));
        QCOMPARE(rig.take().constLast(), QStringLiteral("done 10 0 0 CR power=on"));
        rig.answers = {{"CR0\r", "20\r"}};
        QCOMPARE(rig.host.writeLine("panel", ":1.2", "CR0\r"), R::None);
        rig.at(61000);
        QCOMPARE(state(), QStringLiteral("cooling-down video 123 normal"));
    }
};

QTEST_GUILESS_MAIN(HostTest)
#include "tst_host.moc"
