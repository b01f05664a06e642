// SPDX-License-Identifier: MIT
// PJLink's session and answers as data, and the server on loopback over a fake line and
// virtual time: the idle close, the bound on connections, a client that never reads, and the
// names its commands carry on the exchange.
#include "FakeLink.h"
#include "PjlinkServer.h"
#include "ProjectorHost.h"

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

class PjlinkTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
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
        QTest::addColumn<QStringList>("replies"); // traces as the exchange shows them; "-": none
        QTest::addColumn<int>("lastPower");       // a PowerState, or -1 for none read yet
        QTest::addColumn<QByteArray>("answer");
        const int warming = int(PowerState::WarmingUp), on = int(PowerState::On);
        // clang-format off
        QTest::newRow("standby") << QByteArray("POWR ?") << QStringList{" 8 0 CR"} << -1 << QByteArray("%1POWR=0\r");
        QTest::newRow("count down") << QByteArray("POWR ?") << QStringList{" 4 0 CR"} << -1 << QByteArray("%1POWR=3\r");
        QTest::newRow("cooling") << QByteArray("POWR ?") << QStringList{" 2 0 CR"} << -1 << QByteArray("%1POWR=2\r");
        QTest::newRow("abnormal") << QByteArray("POWR ?") << QStringList{" 2 8 CR"} << -1 << QByteArray("%1POWR=ERR4\r");
        QTest::newRow("key lock") << QByteArray("POWR ?") << QStringList{" 0 2 CR"} << on << QByteArray("%1POWR=ERR3\r");
        QTest::newRow("garbled") << QByteArray("INPT ?") << QStringList{" 9 CR"} << on << QByteArray("%1INPT=ERR4\r");
        QTest::newRow("set, no reply") << QByteArray("POWR 1") << QStringList{"-"} << on << QByteArray("%1POWR=ERR4\r");
        QTest::newRow("set, no reply, warming") << QByteArray("POWR 0") << QStringList{"-"} << warming << QByteArray("%1POWR=ERR3\r");
        QTest::newRow("query, no reply, cooling") << QByteArray("ERST ?") << QStringList{"-"} << int(PowerState::CoolingDown) << QByteArray("%1ERST=ERR3\r");
        QTest::newRow("both mutes, second unanswered") << QByteArray("AVMT 31") << QStringList{" ? CR", "-"} << -1 << QByteArray("%1AVMT=ERR4\r");
        QTest::newRow("lamp lit") << QByteArray("LAMP ?") << QStringList{" 0 1 2 3 CR", " 0 0 CR"} << -1 << QByteArray("%1LAMP=123 1\r");
        QTest::newRow("lamp in count down") << QByteArray("LAMP ?") << QStringList{" 9 9 9 9 CR", " 4 0 CR"} << -1 << QByteArray("%1LAMP=9999 1\r");
        QTest::newRow("lamp out") << QByteArray("LAMP ?") << QStringList{" 0 0 0 7 CR", " 2 0 CR"} << -1 << QByteArray("%1LAMP=7 0\r");
        QTest::newRow("temperature") << QByteArray("ERST ?") << QStringList{" 8 8 CR"} << -1 << QByteArray("%1ERST=002000\r");
        QTest::newRow("power fault") << QByteArray("ERST ?") << QStringList{" 1 0 CR"} << -1 << QByteArray("%1ERST=000002\r");
        // clang-format on
    }
    void answers()
    {
        QFETCH(QByteArray, command);
        QFETCH(QStringList, replies);
        QFETCH(int, lastPower);
        QFETCH(QByteArray, answer);
        const Mapping *m = findMapping(command.left(4), command.mid(5));
        QVERIFY(m);
        QList<Outcome> outcomes;
        for (qsizetype i = 0; i < replies.size(); ++i)
            outcomes.append(
                {replies[i] != u'-', decodeStatus(QLatin1String(m->codes[i]) + u'\r', replies[i])});
        Facts facts;
        if (lastPower >= 0) facts.lastPower = PowerState(lastPower);
        QCOMPARE(pjlink::answer(*m, outcomes, facts), answer);
    }

    // Eight clients at once and a ninth refused; each closed after 30 s without a command; a
    // client that does not read its answers dropped without holding up the others.
    void boundsOnClients()
    {
        VirtualClock clock;
        auto *link = new FakeLink;
        ProjectorConfig config{"hall", "fake", {}, 0s};
        config.pjlink = {QStringLiteral("127.0.0.1"), 0, {}, "Hall", {}, {}, {}};
        ProjectorHost host(config, std::unique_ptr<SerialLink>(link), clock.factory());
        host.start();
        PjlinkServer server(host, clock.factory());
        QVERIFY(server.listen(nullptr));
        QSignalSpy told(&server, &PjlinkServer::message);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        const auto open = [&] {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QStringLiteral("127.0.0.1"), server.port());
            return clients.back().get();
        };
        const auto reply = [](QTcpSocket *c, const QByteArray &expected) {
            (void)QTest::qWaitFor([&] { return c->bytesAvailable() >= expected.size(); }, 5000);
            return c->readAll() == expected;
        };
        for (int i = 0; i < PjlinkServer::MaxConnections; ++i) QVERIFY(reply(open(), "PJLINK 0\r"));
        QTcpSocket *ninth = open();
        QTRY_COMPARE(ninth->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(ninth->readAll().isEmpty());

        clock.advanceTo(20s);
        QString named; // as LineSent and the traffic logs name it
        connect(&host, &ProjectorHost::lineSent, this, [&](auto, auto client) { named = client; });
        clients[0]->write("%1POWR 1\r");
        QTRY_COMPARE(link->lines().size(), 1);
        QCOMPARE(named, "pjlink 127.0.0.1:" + QString::number(clients[0]->localPort()));
        host.writeLine(QStringLiteral("panel"), QStringLiteral(":1.7"), "C0D\r"); // another's
        clock.advance(500ms);
        QVERIFY(reply(clients[0].get(), "%1POWR=ERR4\r"));
        clients[0]->write("%1AVMT ?\r");
        QVERIFY(reply(clients[0].get(), "%1AVMT=11\r"));
        clock.advanceTo(30s);
        QTRY_COMPARE(server.connectionCount(), 1);
        QTRY_COMPARE(clients[1]->state(), QAbstractSocket::UnconnectedState);

        // Two a second time, one reading and one not.
        QTcpSocket *reader = open(), *deaf = open();
        deaf->setReadBufferSize(16);
        QTRY_COMPARE(server.connectionCount(), 3);
        const QByteArray flood = QByteArray("%1CLSS ?\r").repeated(4096);
        connect(deaf, &QTcpSocket::bytesWritten, deaf, [&] {
            if (deaf->bytesToWrite() < flood.size()) deaf->write(flood);
        });
        deaf->write(flood);
        QTRY_VERIFY_WITH_TIMEOUT(server.connectionCount() == 2, 20000);
        QVERIFY(told.last().first().toString().endsWith("it does not read its answers"));
        reader->write("%1NAME ?\r");
        QVERIFY(reply(reader, "PJLINK 0\r%1NAME=Hall\r"));
        QCOMPARE(link->lines(), QList<QByteArray>({"C00\r", "C0D\r"}));
    }
};

QTEST_GUILESS_MAIN(PjlinkTest)
#include "tst_pjlink.moc"
