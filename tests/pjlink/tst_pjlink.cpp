// SPDX-License-Identifier: MIT
// PJLink's session and answers as data, and the server on loopback over a fake line and
// virtual time: the idle close, the bound on connections, a client that never reads, the names
// its commands carry on the exchange, and a peer without the password.
#include "FakeLink.h"
#include "PjlinkServer.h"
#include "ProjectorHost.h"
#include "VirtualClock.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace std::chrono_literals;
using namespace pjlink;

// What a session makes of the client's bytes: answers, "<BODY PARAMETER>" for a row of the
// mapping, and "<close>".
QByteArray runSession(Session &s, const QByteArray &input)
{
    QByteArray out;
    for (qsizetype i = 0; i < input.size(); i += 7) { // cut anywhere, as TCP may
        s.feed(input.mid(i, 7));
        while (const auto step = s.next()) {
            out += step->mapping ? QByteArray("<") + step->mapping->body + ' ' +
                                       step->mapping->parameter + '>'
                                 : step->answer;
            if (step->close) out += "<close>";
        }
    }
    return out;
}

// A server on loopback over a fake line, on virtual time, its clients and its journal lines.
struct Rig
{
    explicit Rig(const QByteArray &password = {})
        : host({"hall", "fake", {}, 0s, 0, {"127.0.0.1", 0, password, "Hall", {}, {}, {}}},
               std::unique_ptr<SerialLink>(link), clock.factory())
    {
        host.start();
        QObject::connect(&server, &PjlinkServer::message, [this](const QString &l) { told << l; });
    }
    QTcpSocket *open()
    {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QStringLiteral("127.0.0.1"), server.port());
        return clients.back().get();
    }
    static bool reply(QTcpSocket *c, const QByteArray &expected)
    {
        (void)QTest::qWaitFor([&] { return c->bytesAvailable() >= expected.size(); }, 5000);
        return c->readAll() == expected;
    }

    VirtualClock clock;
    FakeLink *link = new FakeLink;
    ProjectorHost host;
    PjlinkServer server{host, clock.factory(), [this] { return clock.now(); }};
    bool listening = server.listen(nullptr);
    QStringList told;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
};

class PjlinkTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Among them a client's answers written after it was dropped.
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("."))); }

    void session_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("input"); // DIGEST: the right one
        QTest::addColumn<QByteArray>("output");
        const QByteArray long1 = "%1POWR " + QByteArray(128, '1') + '\r'; // 136 with its CR
        // clang-format off
        QTest::newRow("commands") << QByteArray() << QByteArray("%1POWR 1\r%1powr ?\r\n%1LAMP ?\r%1CLSS ?\r") << QByteArray("<POWR 1><POWR ?><LAMP ?><CLSS ?>");
        QTest::newRow("errors") << QByteArray() << QByteArray("%1FREZ 1\r%2CLSS ?\r%1INPT 31\r%1INPT\r%1AVMT 12 \r%1INST 1\r") << QByteArray("%1FREZ=ERR1\r%2CLSS=ERR1\r%1INPT=ERR2\r%1INPT=ERR2\r%1AVMT=ERR2\r%1INST=ERR2\r");
        QTest::newRow("not command lines") << QByteArray() << QByteArray("hello\r%1PO\r%X\xe9\xe9POWR ?\r\r%1NAME ?\r") << QByteArray("<NAME ?>");
        QTest::newRow("8-bit parameter") << QByteArray() << QByteArray("%1POWR \xb1\r") << QByteArray("%1POWR=ERR2\r");
        QTest::newRow("longest line") << QByteArray() << long1 << QByteArray("%1POWR=ERR2\r");
        QTest::newRow("line too long") << QByteArray() << "%1POWR 1" + QByteArray(5000, ' ') + "\r%1CLSS ?\r" << QByteArray("%1POWR=ERR2\r<CLSS ?>");
        QTest::newRow("digest") << QByteArray("JBMIAProjectorLink") << QByteArray("DIGEST%1POWR ?\r%1INST ?\r") << QByteArray("<POWR ?><INST ?>");
        QTest::newRow("digest in capitals") << QByteArray("p") << QByteArray("digest%1POWR ?\r") << QByteArray("<POWR ?>");
        QTest::newRow("wrong digest") << QByteArray("p") << QByteArray("0123456789abcdef0123456789abcdef%1POWR ?\r%1CLSS ?\r") << QByteArray("PJLINK ERRA\r<close>");
        QTest::newRow("no digest") << QByteArray("p") << QByteArray("%1POWR ?\r") << QByteArray("PJLINK ERRA\r<close>");
        QTest::newRow("endless first line") << QByteArray("p") << QByteArray(500, 'a') << QByteArray("PJLINK ERRA\r<close>");
        // clang-format on
    }
    void session()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        Session s(password, "498e4a67");
        QCOMPARE(s.greeting(), password.isEmpty() ? "PJLINK 0\r" : "PJLINK 1 498e4a67\r");
        const QByteArray d = digest("498e4a67", password);
        input.replace("DIGEST", d).replace("digest", d.toUpper());
        QCOMPARE(runSession(s, input), output);
        if (password == "JBMIAProjectorLink") QCOMPARE(d, "5d8409bc1c3fa39749434aa3a5c38682");
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArrayList>("replies"); // as they came; "-": none
        QTest::addColumn<int>("lastPower");          // a PowerState, or -1 for none read yet
        QTest::addColumn<QByteArray>("answer");
        const int warming = int(PowerState::WarmingUp), on = int(PowerState::On);
        // clang-format off
        QTest::newRow("standby") << QByteArray("POWR ?") << QByteArrayList{"80\r"} << -1 << QByteArray("%1POWR=0\r");
        QTest::newRow("count down") << QByteArray("POWR ?") << QByteArrayList{"40\r"} << -1 << QByteArray("%1POWR=3\r");
        QTest::newRow("cooling") << QByteArray("POWR ?") << QByteArrayList{"20\r"} << -1 << QByteArray("%1POWR=2\r");
        QTest::newRow("abnormal") << QByteArray("POWR ?") << QByteArrayList{"28\r"} << -1 << QByteArray("%1POWR=ERR4\r");
        QTest::newRow("key lock") << QByteArray("POWR ?") << QByteArrayList{"02\r"} << on << QByteArray("%1POWR=ERR3\r");
        QTest::newRow("garbled") << QByteArray("INPT ?") << QByteArrayList{"9\r"} << on << QByteArray("%1INPT=ERR4\r");
        QTest::newRow("set, no reply") << QByteArray("POWR 1") << QByteArrayList{"-"} << on << QByteArray("%1POWR=ERR4\r");
        QTest::newRow("set, no reply, warming") << QByteArray("POWR 0") << QByteArrayList{"-"} << warming << QByteArray("%1POWR=ERR3\r");
        QTest::newRow("query, no reply, cooling") << QByteArray("ERST ?") << QByteArrayList{"-"} << int(PowerState::CoolingDown) << QByteArray("%1ERST=ERR3\r");
        QTest::newRow("both mutes, second unanswered") << QByteArray("AVMT 31") << QByteArrayList{"?\r", "-"} << -1 << QByteArray("%1AVMT=ERR4\r");
        QTest::newRow("lamp lit") << QByteArray("LAMP ?") << QByteArrayList{"0123\r", "00\r"} << -1 << QByteArray("%1LAMP=123 1\r");
        QTest::newRow("lamp in count down") << QByteArray("LAMP ?") << QByteArrayList{"9999\r", "40\r"} << -1 << QByteArray("%1LAMP=9999 1\r");
        QTest::newRow("lamp out") << QByteArray("LAMP ?") << QByteArrayList{"0007\r", "20\r"} << -1 << QByteArray("%1LAMP=7 0\r");
        QTest::newRow("temperature") << QByteArray("ERST ?") << QByteArrayList{"88\r"} << -1 << QByteArray("%1ERST=002000\r");
        QTest::newRow("power fault") << QByteArray("ERST ?") << QByteArrayList{"10\r"} << -1 << QByteArray("%1ERST=000002\r");
        // clang-format on
    }
    void answers()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArrayList, replies);
        QFETCH(int, lastPower);
        QFETCH(QByteArray, answer);
        const Mapping *m = findMapping(command.left(4), command.mid(5));
        QVERIFY(m);
        QList<Outcome> outcomes;
        for (qsizetype i = 0; i < replies.size(); ++i)
            outcomes.append({replies[i] != "-", decodeReply(commandLine(m->codes[i]), replies[i])});
        Facts facts;
        if (lastPower >= 0) facts.lastPower = PowerState(lastPower);
        QCOMPARE(pjlink::answer(*m, outcomes, facts), answer);
    }

    // Eight clients at once and two more refused, with one line; each closed after 30 s without
    // a command; a client that does not read its answers dropped without holding up the others,
    // and no more answered.
    void boundsOnClients()
    {
        Rig rig;
        QVERIFY(rig.listening);
        for (int i = 0; i < PjlinkServer::MaxConnections; ++i)
            QVERIFY(Rig::reply(rig.open(), "PJLINK 0\r"));
        for (QTcpSocket *refused : {rig.open(), rig.open()}) {
            QTRY_COMPARE(refused->state(), QAbstractSocket::UnconnectedState);
            QVERIFY(refused->readAll().isEmpty());
        }
        QCOMPARE(rig.told, {"hall: PJLink connection from 127.0.0.1 refused: all 8 are in use"});

        rig.clock.advanceTo(20s);
        QString named; // as LineSent and the traffic logs name it
        connect(&rig.host, &ProjectorHost::lineSent, this,
                [&](auto, auto client) { named = client; });
        rig.clients[0]->write("%1POWR 1\r");
        QTRY_COMPARE(rig.link->lines().size(), 1);
        QCOMPARE(named, "pjlink 127.0.0.1:" + QString::number(rig.clients[0]->localPort()));
        rig.host.writeLine(QStringLiteral("panel"), QStringLiteral(":1.7"), "C0D\r"); // another's
        rig.clock.advance(500ms);
        QVERIFY(Rig::reply(rig.clients[0].get(), "%1POWR=ERR4\r"));
        rig.clients[0]->write("%1AVMT ?\r");
        QVERIFY(Rig::reply(rig.clients[0].get(), "%1AVMT=11\r"));
        rig.clock.advanceTo(30s);
        QTRY_COMPARE(rig.server.connectionCount(), 1);
        QTRY_COMPARE(rig.clients[1]->state(), QAbstractSocket::UnconnectedState);

        // Two a second time, one reading and one not.
        QTcpSocket *reader = rig.open(), *deaf = rig.open();
        deaf->setReadBufferSize(16);
        QTRY_COMPARE(rig.server.connectionCount(), 3);
        const QByteArray flood = QByteArray("%1CLSS ?\r").repeated(4096);
        connect(deaf, &QTcpSocket::bytesWritten, deaf, [&] {
            if (deaf->bytesToWrite() < flood.size()) deaf->write(flood);
        });
        deaf->write(flood);
        QTRY_VERIFY_WITH_TIMEOUT(rig.server.connectionCount() == 2, 20000);
        QVERIFY(rig.told.last().endsWith("it does not read its answers"));
        reader->write("%1NAME ?\r");
        QVERIFY(Rig::reply(reader, "PJLINK 0\r%1NAME=Hall\r"));
        QCOMPARE(rig.link->lines(), QList<QByteArray>({"C00\r", "C0D\r"}));
    }

    // Silent connections in every slot, and a client with the password still gets in; each
    // silent one closed after 5 s; past three failed logins from an address, each further one
    // answered a second late, until a minute without one.
    void underAttack()
    {
        Rig rig("secret");
        QVERIFY(rig.listening);
        const auto greeted = [&] {
            QTcpSocket *c = rig.open();
            (void)QTest::qWaitFor([&] { return c->bytesAvailable() >= 18; }, 5000);
            return std::pair(c, c->readAll().mid(9, RandomLength)); // "PJLINK 1 RANDOM\r"
        };
        QStringList silent; // their ports
        for (int i = 0; i < PjlinkServer::MaxConnections; ++i)
            silent << QString::number(greeted().first->localPort());
        const auto [in, random] = greeted();
        QTRY_COMPARE(rig.clients[0]->state(), QAbstractSocket::UnconnectedState);
        in->write(digest(random, "secret") + "%1CLSS ?\r");
        QVERIFY(Rig::reply(in, "%1CLSS=1\r"));
        rig.clock.advance(PjlinkServer::LoginTimeout);
        QTRY_COMPARE(rig.server.connectionCount(), 1);

        for (int i = 1; i <= 5; ++i) {
            rig.clock.advance(i == 4 ? 1000ms : i == 5 ? LoginFailures::Memory : 0ms);
            QTcpSocket *guess = greeted().first;
            guess->write(QByteArray(DigestLength, '0') + "%1CLSS ?\r");
            if (i == 4) {
                QTRY_COMPARE(rig.told.size(), 4); // judged
                rig.clock.advance(PjlinkServer::GuessDelay - 1ms);
                QTest::qWait(20); // an answer written at once would be here
                QCOMPARE(guess->bytesAvailable(), 0);
                rig.clock.advance(1ms);
            }
            QVERIFY(Rig::reply(guess, "PJLINK ERRA\r"));
        }
        const QString client = "hall: PJLink client 127.0.0.1:",
                      failed = "hall: PJLink login from 127.0.0.1 failed";
        QCOMPARE(rig.told,
                 QStringList({client + silent[0] + " dropped: a new connection took its slot",
                              client + silent[1] + " dropped: no login within 5 s", failed,
                              failed + " (and 2 more)", failed}));
    }

    // A full table forgets the oldest key, and what it held back with it.
    void logRateLimit()
    {
        LogRateLimit limit;
        QCOMPARE(limit.admit("a", "a", 0ms), "a");
        QCOMPARE(limit.admit("a", "a", 1ms), "");
        for (int i = 1; i < LogRateLimit::Capacity; ++i) limit.admit(QString::number(i), {}, 500ms);
        QCOMPARE(limit.admit("b", "b", 600ms), "b");
        QCOMPARE(limit.admit("a", "a", 700ms), "a");
    }
};

QTEST_GUILESS_MAIN(PjlinkTest)
#include "tst_pjlink.moc"
