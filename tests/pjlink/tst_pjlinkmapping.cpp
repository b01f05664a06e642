// SPDX-License-Identifier: MIT
// The PJLink mapping with the simulator answering behind it: the server and the projector's
// host over the real link and timers, the simulator on its pseudo-terminal, a client on
// loopback. Each row is one command, its answer and the lines the projector got.
#include "DeviceLink.h"
#include "PjlinkServer.h"
#include "ProjectorHost.h"
#include "SimProcess.h"

#include <QTcpSocket>
#include <QTest>

// One simulator, its host and server, and a client connected to it.
struct Rig
{
    SimProcess sim;
    std::unique_ptr<ProjectorHost> host;
    std::unique_ptr<PjlinkServer> server;
    QTcpSocket client;

    bool start(const QStringList &args)
    {
        if (!sim.start(args)) return false;
        ProjectorConfig c{QStringLiteral("hall-1"), sim.device(), {}, std::chrono::seconds(0)};
        c.pjlink = {QStringLiteral("127.0.0.1"), 0, {}, "Hall 1", "Maker", {}, {}};
        host = std::make_unique<ProjectorHost>(
            c, std::make_unique<DeviceLink>(c.device, QString(), PreciseTimer::factory()),
            PreciseTimer::factory());
        host->start();
        server = std::make_unique<PjlinkServer>(*host, PreciseTimer::factory());
        if (!QTest::qWaitFor([&] { return host->isOnline(); }) || !server->listen(nullptr))
            return false;
        client.connectToHost(QStringLiteral("127.0.0.1"), server->port());
        return ask({}) == "PJLINK 0\r";
    }
    // Sends a line, and waits for the answer's CR.
    QByteArray ask(const QByteArray &line)
    {
        client.write(line);
        (void)QTest::qWaitFor([&] { return client.peek(256).contains('\r'); }, 5000);
        return client.readLine(256);
    }
};

class PjlinkMappingTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Rig> m_rig;
    QStringList m_args;

private Q_SLOTS:
    void mapping_data()
    {
        QTest::addColumn<QStringList>("sim"); // a change starts another simulator
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("sent"); // lines the projector got, without their CR
        const QStringList plain{"--hours", "1234", "--input", "3"};
        const QStringList warming{"--warmup", "3600"},
            cooling{"--warmup", "0", "--cooldown", "600"};
        const auto row = [](const char *name, const QStringList &sim, const char *command,
                            const char *answer, const char *sent) {
            QTest::newRow(name) << sim << QByteArray(command) << QByteArray(answer)
                                << QByteArray(sent);
        };
        // clang-format off
        row("stand by", plain, "%1POWR ?\r", "%1POWR=0\r", "CR0");
        row("lamp out", plain, "%1LAMP ?\r", "%1LAMP=1234 0\r", "CR3 CR0");
        row("input is video", plain, "%1INPT ?\r", "%1INPT=21\r", "CR1");
        row("PC 1", plain, "%1INPT 11\r", "%1INPT=OK\r", "C05");
        row("input is PC 1", plain, "%1INPT ?\r", "%1INPT=11\r", "CR1");
        row("PC 2", plain, "%1INPT 12\r", "%1INPT=OK\r", "C06");
        row("video", plain, "%1INPT 21\r", "%1INPT=OK\r", "C07");
        row("no such input", plain, "%1INPT 31\r", "%1INPT=ERR2\r", "");
        row("inputs", plain, "%1INST ?\r", "%1INST=11 12 21\r", "");
        row("video mute", plain, "%1AVMT 11\r", "%1AVMT=OK\r", "C0D");
        row("video mute off", plain, "%1AVMT 10\r", "%1AVMT=OK\r", "C0E");
        row("audio mute", plain, "%1AVMT 21\r", "%1AVMT=OK\r", "C0B");
        row("audio muted", plain, "%1AVMT ?\r", "%1AVMT=21\r", "");
        row("audio mute off", plain, "%1AVMT 20\r", "%1AVMT=OK\r", "C0C");
        row("both mutes", plain, "%1AVMT 31\r", "%1AVMT=OK\r", "C0D C0B");
        row("both muted", plain, "%1AVMT ?\r", "%1AVMT=31\r", "");
        row("both mutes off", plain, "%1AVMT 30\r", "%1AVMT=OK\r", "C0E C0C");
        row("none muted", plain, "%1AVMT ?\r", "%1AVMT=30\r", "");
        row("no errors", plain, "%1ERST ?\r", "%1ERST=000000\r", "CR0");
        row("name", plain, "%1NAME ?\r", "%1NAME=Hall 1\r", "");
        row("maker", plain, "%1INF1 ?\r", "%1INF1=Maker\r", "");
        row("product", plain, "%1INF2 ?\r", "%1INF2=\r", "");
        row("other", plain, "%1INFO ?\r", "%1INFO=\r", "");
        row("class", plain, "%1CLSS ?\r", "%1CLSS=1\r", "");
        row("class 2 command", plain, "%1FREZ 1\r", "%1FREZ=ERR1\r", "");
        row("power on", warming, "%1POWR 1\r", "%1POWR=OK\r", "C00");
        row("count down", warming, "%1POWR ?\r", "%1POWR=3\r", "CR0");
        row("lamp struck", warming, "%1LAMP ?\r", "%1LAMP=123 1\r", "CR3 CR0");
        row("on at once", cooling, "%1POWR 1\r", "%1POWR=OK\r", "C00");
        row("power ON", cooling, "%1POWR ?\r", "%1POWR=1\r", "CR0");
        row("power off", cooling, "%1POWR 0\r", "%1POWR=OK\r", "C02");
        row("cooling down", cooling, "%1POWR ?\r", "%1POWR=2\r", "CR0");
        row("temperature", {"--fault", "temperature"}, "%1POWR ?\r", "%1POWR=ERR4\r", "CR0");
        row("temperature error", {"--fault", "temperature"}, "%1ERST ?\r", "%1ERST=002000\r", "CR0");
        row("power abnormality", {"--fault", "power"}, "%1ERST ?\r", "%1ERST=000002\r", "CR0");
        row("no reply", {"--silent"}, "%1POWR 1\r", "%1POWR=ERR4\r", "C00");
        // clang-format on
    }
    void mapping()
    {
        QFETCH(QStringList, sim);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, sent);
        if (!m_rig || sim != m_args) {
            m_rig.reset(); // its host before its simulator
            m_rig = std::make_unique<Rig>();
            m_args = sim;
            QVERIFY2(m_rig->start(sim), m_rig->sim.errors().constData());
        }
        const qsizetype before = m_rig->sim.lines().size();
        QCOMPARE(m_rig->ask(command), answer);
        const QByteArrayList expected = sent.isEmpty() ? QByteArrayList() : sent.split(' ');
        QVERIFY(m_rig->sim.waitForLines(before + expected.size()));
        QCOMPARE(m_rig->sim.lines().mid(before), expected);
    }
};

QTEST_GUILESS_MAIN(PjlinkMappingTest)
#include "tst_pjlinkmapping.moc"
