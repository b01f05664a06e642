// SPDX-License-Identifier: MIT
// PJLink's session as data, and the server on loopback over a fake line and virtual time: the
// mapping and its answers, the idle close, the bound on connections, a client that never reads,
// the names its commands carry on the exchange, and a peer without the password.
#include "HostRig.h"
#include "PjlinkServer.h"

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
struct Rig : HostRig
{
    explicit Rig(const QByteArray &password = {})
        : HostRig({"hall", "fake", {}, 0s, 0, {"127.0.0.1", 0, password, "Hall", "Maker", {}, {}}})
    {
        start();
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

    // Sends a line and lets each reply window close in turn until the answer comes.
    QByteArray ask(QTcpSocket *c, const QByteArray &line)
    {
        c->write(line);
        qsizetype seen = link->lines().size();
        for (int window = 0; window < 4; ++window) {
            (void)QTest::qWaitFor(
                [&] { return c->peek(256).contains('\r') || link->lines().size() > seen; }, 5000);
            if (c->peek(256).contains('\r')) break;
            seen = link->lines().size();
            clock.advance(ReplyWindow);
        }
        return c->readLine(256);
    }

    PjlinkServer server{host, clock.factory(), [this] { return clock.now(); }};
    bool listening = server.listen(nullptr);
    QStringList told;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
};

class PjlinkTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Rig> m_rig; // the mapping's, kept across its rows
    QTcpSocket *m_client = nullptr;

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

    // The one table of the mapping: each row a command, the projector's replies to the codes it
    // sends ("-": none), the power state read just before ("" for no read), the answer and the
    // codes the projector got. The rows run in turn on one server: the mutes are kept across.
    void mapping_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("sent");
        const QByteArrayList ack{"\x06\r"}, none{"-"};
        const QByteArray on = "00\r", warming = "40\r", cooling = "20\r";
        const auto row = [](const char *name, const char *command, const QByteArrayList &replies,
                            const QByteArray &before, const char *answer, const char *sent) {
            QTest::newRow(name) << QByteArray(command) << replies << before << QByteArray(answer)
                                << QByteArray(sent);
        };
        // clang-format off
        row("standby", "%1POWR ?\r", {"80\r"}, {}, "%1POWR=0\r", "CR0");
        row("count down", "%1POWR ?\r", {"40\r"}, {}, "%1POWR=3\r", "CR0");
        row("on", "%1POWR ?\r", {"00\r"}, {}, "%1POWR=1\r", "CR0");
        row("cooling", "%1POWR ?\r", {"20\r"}, {}, "%1POWR=2\r", "CR0");
        row("abnormal", "%1POWR ?\r", {"28\r"}, {}, "%1POWR=ERR4\r", "CR0");
        row("key lock", "%1POWR ?\r", {"02\r"}, on, "%1POWR=ERR3\r", "CR0");
        row("power on", "%1POWR 1\r", ack, {}, "%1POWR=OK\r", "C00");
        row("power off", "%1POWR 0\r", ack, {}, "%1POWR=OK\r", "C02");
        row("set, no reply", "%1POWR 1\r", none, on, "%1POWR=ERR4\r", "C00");
        row("set, no reply, warming", "%1POWR 0\r", none, warming, "%1POWR=ERR3\r", "C02");
        row("PC 1", "%1INPT 11\r", ack, {}, "%1INPT=OK\r", "C05");
        row("PC 2", "%1INPT 12\r", ack, {}, "%1INPT=OK\r", "C06");
        row("video", "%1INPT 21\r", ack, {}, "%1INPT=OK\r", "C07");
        row("input is PC 1", "%1INPT ?\r", {"1\r"}, {}, "%1INPT=11\r", "CR1");
        row("input is video", "%1INPT ?\r", {"3\r"}, {}, "%1INPT=21\r", "CR1");
        row("input garbled", "%1INPT ?\r", {"9\r"}, on, "%1INPT=ERR4\r", "CR1");
        row("no such input", "%1INPT 31\r", {}, {}, "%1INPT=ERR2\r", "");
        row("inputs", "%1INST ?\r", {}, {}, "%1INST=11 12 21\r", "");
        row("video mute", "%1AVMT 11\r", ack, {}, "%1AVMT=OK\r", "C0D");
        row("video muted", "%1AVMT ?\r", {}, {}, "%1AVMT=11\r", "");
        row("video mute off", "%1AVMT 10\r", ack, {}, "%1AVMT=OK\r", "C0E");
        row("audio mute", "%1AVMT 21\r", ack, {}, "%1AVMT=OK\r", "C0B");
        row("audio muted", "%1AVMT ?\r", {}, {}, "%1AVMT=21\r", "");
        row("audio mute off", "%1AVMT 20\r", ack, {}, "%1AVMT=OK\r", "C0C");
        row("both mutes", "%1AVMT 31\r", {"\x06\r", "\x06\r"}, {}, "%1AVMT=OK\r", "C0D C0B");
        row("both muted", "%1AVMT ?\r", {}, {}, "%1AVMT=31\r", "");
        row("both mutes off", "%1AVMT 30\r", {"\x06\r", "\x06\r"}, {}, "%1AVMT=OK\r", "C0E C0C");
        row("none muted", "%1AVMT ?\r", {}, {}, "%1AVMT=30\r", "");
        row("both mutes, second unanswered", "%1AVMT 31\r", {"?\r", "-"}, {}, "%1AVMT=ERR4\r", "C0D C0B");
        row("lamp lit", "%1LAMP ?\r", {"0123\r", "00\r"}, {}, "%1LAMP=123 1\r", "CR3 CR0");
        row("lamp in count down", "%1LAMP ?\r", {"9999\r", "40\r"}, {}, "%1LAMP=9999 1\r", "CR3 CR0");
        row("lamp out", "%1LAMP ?\r", {"0007\r", "20\r"}, {}, "%1LAMP=7 0\r", "CR3 CR0");
        row("lamp out in stand-by", "%1LAMP ?\r", {"1234\r", "80\r"}, {}, "%1LAMP=1234 0\r", "CR3 CR0");
        row("no errors", "%1ERST ?\r", {"80\r"}, {}, "%1ERST=000000\r", "CR0");
        row("temperature", "%1ERST ?\r", {"88\r"}, {}, "%1ERST=002000\r", "CR0");
        row("temperature, cooling", "%1ERST ?\r", {"28\r"}, {}, "%1ERST=002000\r", "CR0");
        row("power fault", "%1ERST ?\r", {"10\r"}, {}, "%1ERST=000002\r", "CR0");
        row("query, no reply, cooling", "%1ERST ?\r", none, cooling, "%1ERST=ERR3\r", "CR0");
        row("name", "%1NAME ?\r", {}, {}, "%1NAME=Hall\r", "");
        row("maker", "%1INF1 ?\r", {}, {}, "%1INF1=Maker\r", "");
        row("product", "%1INF2 ?\r", {}, {}, "%1INF2=\r", "");
        row("other", "%1INFO ?\r", {}, {}, "%1INFO=\r", "");
        row("class", "%1CLSS ?\r", {}, {}, "%1CLSS=1\r", "");
        row("class 2 command", "%1FREZ 1\r", {}, {}, "%1FREZ=ERR1\r", "");
        // clang-format on
    }
    void mapping()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArrayList, replies);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, sent);
        if (!m_rig) {
            m_rig = std::make_unique<Rig>();
            m_client = m_rig->open();
            QCOMPARE(m_rig->ask(m_client, {}), "PJLINK 0\r");
        }
        Rig &rig = *m_rig;
        rig.answers.clear();
        if (!before.isEmpty()) {
            rig.answers.insert("CR0\r", before);
            QVERIFY(rig.host.request(QStringLiteral("test"), QStringLiteral("CR0")) != 0);
            rig.clock.advance(ReplyWindow);
            QVERIFY(rig.host.state().power.isKnown());
        }
        const QByteArrayList codes = sent.isEmpty() ? QByteArrayList() : sent.split(' ');
        QCOMPARE(replies.size(), codes.size());
        rig.answers.clear();
        for (qsizetype i = 0; i < codes.size(); ++i)
            if (replies[i] != "-") rig.answers.insert(codes[i] + '\r', replies[i]);
        const qsizetype at = rig.link->lines().size();
        QCOMPARE(rig.ask(m_client, command), answer);
        QByteArrayList got;
        for (const QByteArray &l : rig.link->lines().mid(at)) got << l.chopped(1);
        QCOMPARE(got, codes);
    }
    void cleanupTestCase() { m_rig.reset(); }

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
