// SPDX-License-Identifier: MIT
// The MQTT client: when it tries again, on virtual time; and against a private mosquitto, what
// it publishes and receives, what the journal hears, its will, and an event loop that never
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

using namespace std::chrono_literals;

namespace {

constexpr int Patience = 15000; // ms, for what a real broker does

MqttClient::Options optionsFor(const Mosquitto &broker, const QString &id)
{
    return {false, QStringLiteral("127.0.0.1"), broker.port(), broker.user(), broker.password(), {},
            id};
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
        QCOMPARE(lines(said),
                 QStringList{QStringLiteral("MQTT: connected to mqtt://127.0.0.1:%1 as hall-host")
                                 .arg(broker.port())});
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
    // again, and neither names the password.
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
        const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
        QCOMPARE(lines(refusedSaid),
                 QStringList{"MQTT: no connection to the broker " + url +
                             ": connection refused: not authorised; trying again"});
        const QStringList said = lines(lostSaid);
        QVERIFY2(said.size() == 2 && said.at(1).startsWith("MQTT: lost the broker " + url + ": ") &&
                     said.at(1).endsWith(QLatin1String("; trying again")),
                 qPrintable(said.join(u'|')));
        for (const QString &line : lines(refusedSaid) + said)
            QVERIFY(!line.contains(QLatin1String("password")) && !line.contains(broker.password()));
        QVERIFY(!refused.isConnected() && !lost.isConnected());
    }

    // mqtts verifies the broker: by the CA file given, or else by the system's CAs, which did
    // not sign the test broker's certificate.
    void tls_data()
    {
        QTest::addColumn<bool>("ownCa");
        QTest::addColumn<QString>("said");
        QTest::newRow("its CA") << true << "MQTT: connected to mqtts://127.0.0.1:%1 as hall-host";
        QTest::newRow("the system's CAs")
            << false
            << "MQTT: no connection to the broker mqtts://127.0.0.1:%1: a TLS error "
               "occurred; trying again";
    }
    void tls()
    {
        QFETCH(bool, ownCa);
        QFETCH(QString, said);
        Mosquitto broker(QStringLiteral("hall-host"), "hall-secret", Mosquitto::Transport::Tls);
        QVERIFY2(broker.start(), qPrintable(broker.errors()));
        MqttClient::Options options = optionsFor(broker, {});
        options.tls = true;
        options.caFile = ownCa ? broker.certificate() : QString();
        MqttClient client(options, PreciseTimer::factory());
        QSignalSpy line(&client, &MqttClient::message);
        client.start();
        QVERIFY(line.wait(Patience));
        QCOMPARE(lines(line), QStringList{said.arg(broker.port())});
    }

    // Whatever the broker does, the event loop goes on: a zero-interval timer ticks while the
    // client tries, and stop() returns within its patience even while connect is stuck.
    void neverBlocks_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("tls");
        QTest::newRow("unresolvable") << "broker.nonexistent.invalid" << false;
        QTest::newRow("silent") << "127.0.0.1" << false;
        QTest::newRow("silent, TLS") << "127.0.0.1" << true;
    }
    void neverBlocks()
    {
        QFETCH(QString, host);
        QFETCH(bool, tls);
        QTcpServer silent; // listens, and never accepts nor answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        MqttClient client(
            {tls, host, silent.serverPort(), QStringLiteral("u"), "secret", {}, {}, 5s},
            PreciseTimer::factory());
        QSignalSpy said(&client, &MqttClient::message);

        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer ticker;
        ticker.setInterval(0);
        connect(&ticker, &QTimer::timeout, this,
                [&] { longest = std::max(longest, sinceTick.restart()); });
        sinceTick.start();
        ticker.start();
        client.start();
        QVERIFY(said.wait(Patience)); // it gives up on the broker
        QElapsedTimer stopping;
        stopping.start();
        client.stop();
        QVERIFY(stopping.elapsed() < MqttClient::StopPatience.count());
        QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
        for (const QString &line : lines(said)) QVERIFY(!line.contains(QLatin1String("secret")));
    }
};

QTEST_GUILESS_MAIN(MqttClientTest)
#include "tst_mqttclient.moc"
