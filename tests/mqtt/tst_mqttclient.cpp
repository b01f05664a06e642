// SPDX-License-Identifier: MIT
// The MQTT client: when it tries again, on virtual time; and against a private mosquitto, what
// it publishes and receives, its will, what the journal hears, and an event loop that never
// waits for a broker.
#include "DieWithParent.h"
#include "Mosquitto.h"
#include "MqttClient.h"
#include "Reconnection.h"
#include "VirtualClock.h"

#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace std::chrono_literals;

namespace {

constexpr int Patience = 30000; // ms, for what a real broker or resolver does

MqttClient::Options optionsFor(const Mosquitto &broker, const QString &id)
{
    return {false, QStringLiteral("127.0.0.1"), broker.port(), broker.user(), broker.password(), {},
            id,    std::chrono::seconds(30),    std::nullopt};
}

// Waits for the first emission whose arguments satisfy `match`.
template <typename Match> bool waitFor(QSignalSpy &spy, Match match)
{
    QElapsedTimer clock;
    clock.start();
    for (int seen = 0;; ++seen) {
        while (spy.size() <= seen)
            if (clock.hasExpired(Patience) || !spy.wait(int(Patience - clock.elapsed())))
                return false;
        if (match(spy.at(seen))) return true;
    }
}

QStringList lines(const QSignalSpy &spy)
{
    QStringList out;
    for (const auto &args : spy) out << args.at(0).toString();
    return out;
}

} // namespace

class MqttClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A number: an attempt fails, and the wait drawn is that base or up to a fifth less, the
    // next attempt coming after it exactly. S: connected; A: start; +N: N ms pass.
    void reconnection_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("doubling to a minute")
            << "1000 2000 4000 8000 16000 32000 60000 60000 60000";
        QTest::newRow("from the first after a lasting connection") << "1000 2000 S +30000 1000";
        QTest::newRow("not after a short one") << "1000 2000 S +29999 4000";
        QTest::newRow("a new start") << "1000 2000 A 1000";
    }
    void reconnection()
    {
        QFETCH(QString, script);
        VirtualClock clock;
        Reconnection r(clock.factory(), 7);
        int attempts = 0;
        connect(&r, &Reconnection::attempt, this, [&] { ++attempts; });
        for (const QString &step : script.split(u' ')) {
            if (step.startsWith(u'+')) {
                clock.advance(std::chrono::milliseconds(step.mid(1).toInt()));
                continue;
            }
            if (step == QLatin1String("S")) {
                r.succeeded();
                continue;
            }
            if (step == QLatin1String("A")) {
                r.start();
            } else {
                r.failed();
                const qint64 wait = r.lastWait().count(), base = step.toInt();
                QVERIFY2(wait <= base && wait >= base - base / 5, qPrintable(step));
                clock.advance(r.lastWait() - 1ms);
                QCOMPARE(attempts, 0);
                clock.advance(1ms);
            }
            QCOMPARE(std::exchange(attempts, 0), 1);
        }
    }
    // Hosts that lost the broker together spread their returns.
    void reconnectionJitter()
    {
        VirtualClock clock;
        QSet<qint64> waits;
        for (quint32 seed = 0; seed < 50; ++seed) {
            Reconnection r(clock.factory(), seed);
            r.failed();
            waits.insert(r.lastWait().count());
        }
        QVERIFY(waits.size() > 20);
    }

    // Publishes retained, as mosquitto_sub reads it and a second client receives it; a clean
    // stop leaves its last message and not its will, and a killed client leaves its will.
    void publishAndStop()
    {
        Mosquitto broker;
        QVERIFY2(broker.start(), qPrintable(broker.errors()));
        MqttClient::Options options = optionsFor(broker, QStringLiteral("a"));
        options.will = MqttClient::Message{QStringLiteral("t/status"), "gone", 1, true};
        MqttClient a(options, PreciseTimer::factory());
        MqttClient b(optionsFor(broker, QStringLiteral("b")), PreciseTimer::factory());
        QSignalSpy said(&a, &MqttClient::message), up(&a, &MqttClient::connected),
            acked(&a, &MqttClient::published), got(&b, &MqttClient::received);
        a.start();
        QVERIFY(up.wait(Patience));
        const int id = a.publish({QStringLiteral("t/status"), "online", 1, true});
        QVERIFY(id > 0);
        QVERIFY(waitFor(acked, [&](const QList<QVariant> &args) { return args.at(0) == id; }));
        QCOMPARE(broker.firstMessage(QStringLiteral("t/status")), QByteArray("online"));

        b.subscribe(QStringLiteral("t/#"), 1);
        b.start();
        const auto arrived = [&](const char *topic, const char *payload, bool retained) {
            return waitFor(got, [=](const QList<QVariant> &args) {
                return args.at(0) == QLatin1String(topic) && args.at(1) == QByteArray(payload) &&
                       args.at(2) == retained;
            });
        };
        QVERIFY(arrived("t/status", "online", true));
        QVERIFY(a.publish({QStringLiteral("t/p/state"), "{}", 1, false}) > 0);
        QVERIFY(arrived("t/p/state", "{}", false));

        QElapsedTimer stopping;
        stopping.start();
        a.stop(MqttClient::Message{QStringLiteral("t/status"), "offline", 1, true});
        QVERIFY(stopping.elapsed() < MqttClient::StopPatience.count());
        QVERIFY(arrived("t/status", "offline", false));
        QCOMPARE(broker.firstMessage(QStringLiteral("t/status")), QByteArray("offline"));
        QCOMPARE(a.publish({QStringLiteral("t/x"), "late", 0, false}), 0);
        QCOMPARE(said.size(), 1);

        QProcess killed;
        killed.setChildProcessModifier(dieWithParent);
        killed.start(QStringLiteral(MQTT_WILL_CLIENT),
                     {QString::number(broker.port()), broker.user(),
                      QString::fromUtf8(broker.password()), QStringLiteral("t/host/status")});
        QVERIFY(arrived("t/host/status", "online", false));
        killed.kill();
        QVERIFY(arrived("t/host/status", "offline", false));
        a.start(); // again, hearing nothing of the thread before
        QVERIFY(up.wait(Patience));
        QCOMPARE(said.size(), 2);
    }

    // A refused login and a lost broker each make one journal line, however often it is tried
    // again.
    void journal()
    {
        Mosquitto broker;
        QVERIFY2(broker.start(), qPrintable(broker.errors()));
        VirtualClock clock;
        MqttClient::Options wrong = optionsFor(broker, QStringLiteral("w"));
        wrong.password = "not-the-password";
        MqttClient refused(wrong, clock.factory());
        MqttClient lost(optionsFor(broker, QStringLiteral("l")), clock.factory());
        QSignalSpy refusedSaid(&refused, &MqttClient::message),
            refusedDown(&refused, &MqttClient::disconnected), lostSaid(&lost, &MqttClient::message),
            lostDown(&lost, &MqttClient::disconnected), lostUp(&lost, &MqttClient::connected);
        refused.start();
        lost.start();
        QVERIFY(refusedDown.wait(Patience));
        QVERIFY(lostUp.size() == 1 || lostUp.wait(Patience));
        broker.kill();
        QVERIFY(lostDown.wait(Patience));
        for (int retry = 1; retry <= 2; ++retry) {
            clock.advance(Reconnection::Longest);
            QVERIFY(refusedDown.size() > retry || refusedDown.wait(Patience));
            QVERIFY(lostDown.size() > retry || lostDown.wait(Patience));
        }
        QCOMPARE(refusedSaid.size(), 1);
        const QStringList said = lines(lostSaid);
        QVERIFY2(said.size() == 2 &&
                     said.at(1).startsWith(QStringLiteral("MQTT: lost the broker "
                                                          "mqtt://127.0.0.1:%1: ")
                                               .arg(broker.port())) &&
                     said.at(1).endsWith(QLatin1String("; trying again")),
                 qPrintable(said.join(u'|')));
        QVERIFY(!refused.isConnected() && !lost.isConnected());
    }

    // The first journal line of each broker, of which mqtts verifies the certificate by the CA
    // file given or else by the system's CAs. Whatever the broker does, the event loop goes on
    // (a zero-interval timer ticks), and stop() keeps within its patience. URL: the broker's.
    void connecting_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("said"); // the line's start
        const QString refused = "MQTT: no connection to the broker URL: ";
        QTest::newRow("password") << "broker"
                                  << "MQTT: connected to URL as hall-host";
        QTest::newRow("wrong password")
            << "broker wrong" << refused + "connection refused: not authorised; trying again";
        QTest::newRow("TLS, its CA") << "broker tls ca"
                                     << "MQTT: connected to URL as hall-host";
        QTest::newRow("TLS, the system's CAs")
            << "broker tls" << refused + "a TLS error occurred; trying again";
        QTest::newRow("unresolvable") << "unresolvable" << refused;
        QTest::newRow("silent") << "silent"
                                << refused + "no answer within the keepalive; trying again";
        QTest::newRow("silent, TLS")
            << "silent tls" << refused + "no answer within the keepalive; trying again";
    }
    void connecting()
    {
        QFETCH(QString, setup);
        QFETCH(QString, said);
        const QStringList words = setup.split(u' ');
        MqttClient::Options o{words.contains(QLatin1String("tls")),
                              QStringLiteral("127.0.0.1"),
                              0,
                              QStringLiteral("hall-host"),
                              "hall-secret",
                              {},
                              {},
                              5s,
                              std::nullopt};
        std::optional<Mosquitto> broker;
        QTcpServer silent; // listens, and never accepts nor answers
        if (words.first() == QLatin1String("broker")) {
            broker.emplace(o.username, o.password,
                           o.tls ? Mosquitto::Transport::Tls : Mosquitto::Transport::Plain);
            QVERIFY2(broker->start(), qPrintable(broker->errors()));
            o.port = broker->port();
            if (words.contains(QLatin1String("ca"))) o.caFile = broker->certificate();
            if (words.contains(QLatin1String("wrong"))) o.password = "wrong-secret";
        } else {
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            o.port = silent.serverPort();
            if (setup == QLatin1String("unresolvable"))
                o.host = QStringLiteral("broker.nonexistent.invalid");
        }
        MqttClient client(o, PreciseTimer::factory());
        QSignalSpy line(&client, &MqttClient::message);
        QElapsedTimer sinceTick, stopping;
        qint64 longest = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this,
                [&] { longest = std::max(longest, sinceTick.restart()); });
        sinceTick.start();
        ticker.start(0);
        client.start();
        QVERIFY(line.wait(Patience));
        stopping.start();
        client.stop();
        QVERIFY(stopping.elapsed() < MqttClient::StopPatience.count());
        QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
        const QStringList lines = ::lines(line);
        QVERIFY2(lines.size() == 1 && lines.first().startsWith(
                                          said.replace(QLatin1String("URL"), client.brokerUrl())),
                 qPrintable(lines.join(u'|')));
        QVERIFY(!lines.first().contains(QLatin1String("secret")));
    }
};

QTEST_GUILESS_MAIN(MqttClientTest)
#include "tst_mqttclient.moc"
