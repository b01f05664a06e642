// SPDX-License-Identifier: MIT
// projectord on an MQTT broker as others meet it: the real program on a private bus holding the
// simulator's line, a private mosquitto, and paho as the client, reading the discovery as Home
// Assistant does.
#include "DbusDaemon.h"
#include "DieWithParent.h"
#include "FreePort.h"
#include "Mosquitto.h"
#include "ProjectordProcess.h"
#include "ServiceNames.h"
#include "SimProcess.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>

#include <csignal>
#include <functional>

#include <sys/stat.h>

namespace {

constexpr int Patience = 15000; // ms, for what a real broker and the service do
const QString Base = QStringLiteral("projectord/testhost");
const QString Status = Base + QStringLiteral("/status");
const QString Hall = ServiceNames::projectorPath(QStringLiteral("hall-1"));

QString topic(const QString &projector, const char *leaf)
{
    return Base + u'/' + projector + u'/' + QLatin1String(leaf);
}

QByteArray config(const QString &broker, const QList<std::pair<QString, QString>> &projectors)
{
    QString text = QStringLiteral("[mqtt]\nbroker = %1\nusername = hall-host\n"
                                  "password = hall-secret\ntopic = %2\n")
                       .arg(broker, Base);
    for (const auto &[name, device] : projectors)
        text += QStringLiteral("[%1]\ndevice = %2\n").arg(name, device);
    return text.toUtf8();
}

// How long a D-Bus Send of "status" to hall-1 took, in ms; -1 when it failed.
qint64 timedSend(QDBusConnection c)
{
    QDBusMessage m = QDBusMessage::createMethodCall(QLatin1String(ServiceNames::BusName), Hall,
                                                    QLatin1String(ServiceNames::ProjectorInterface),
                                                    QStringLiteral("Send"));
    m.setArguments({QStringLiteral("status")});
    QElapsedTimer clock;
    clock.start();
    const QDBusPendingCall call = c.asyncCall(m, Patience);
    (void)QTest::qWaitFor([&] { return call.isFinished(); }, Patience);
    return call.isFinished() && !call.isError() ? clock.elapsed() : -1;
}

bool isOnline(QDBusConnection c)
{
    const QDBusMessage r =
        c.call(QDBusMessage::createMethodCall(QLatin1String(ServiceNames::BusName), Hall,
                                              QStringLiteral("org.freedesktop.DBus.Properties"),
                                              QStringLiteral("Get"))
               << QLatin1String(ServiceNames::ProjectorInterface) << QStringLiteral("Online"));
    return r.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

// The broker as paho sees it: every message in order, and the last payload on each topic.
class BrokerClient
{
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
    };
    QList<Message> log;
    QMap<QString, QByteArray> latest;

    ~BrokerClient()
    {
        m_proc.kill();
        m_proc.waitForFinished();
    }

    // False when the client did not come up; `missing` when paho is not installed.
    bool start(const Mosquitto &broker, bool *missing)
    {
        m_proc.setChildProcessModifier(dieWithParent);
        m_proc.start(QStringLiteral(PANEL_PYTHON3),
                     {QStringLiteral(BROKER_CLIENT), QString::number(broker.port()), broker.user(),
                      QString::fromUtf8(broker.password())});
        const bool up = waitFor([&] { return m_ready || m_proc.state() == QProcess::NotRunning; });
        *missing = m_proc.state() == QProcess::NotRunning && m_proc.exitCode() == 77;
        return up && m_ready;
    }
    void publish(const QString &topic, const QByteArray &payload, bool retain = false)
    {
        m_proc.write(QJsonDocument(QJsonObject{{"topic", topic},
                                               {"payload", QString::fromUtf8(payload)},
                                               {"retain", retain}})
                         .toJson(QJsonDocument::Compact) +
                     '\n');
    }
    bool waitFor(const std::function<bool()> &done, int timeoutMs = Patience)
    {
        return QTest::qWaitFor(
            [&] {
                read();
                return done();
            },
            timeoutMs);
    }
    // The first message on `topic` from the log's index `from` on that holds `part`.
    std::optional<QByteArray> waitForMessage(const QString &topic, qsizetype from,
                                             const QByteArray &part = {})
    {
        std::optional<QByteArray> found;
        waitFor([&] {
            for (qsizetype i = from; i < log.size() && !found; ++i)
                if (log[i].topic == topic && log[i].payload.contains(part)) found = log[i].payload;
            return found.has_value();
        });
        return found;
    }
    // The retained configurations on the broker of the projector `name`, or of the host with "".
    QStringList configs(const QString &name)
    {
        read();
        QStringList topics;
        for (auto it = latest.cbegin(); it != latest.cend(); ++it) {
            const QString object = it.key().section(u'/', 3, 3);
            if (it.key().startsWith(QLatin1String("homeassistant/")) && !it->isEmpty() &&
                (name.isEmpty() ? object == QLatin1String("service")
                                : object.startsWith(name + u'_')))
                topics << it.key();
        }
        return topics;
    }

private:
    void read()
    {
        m_buffer += m_proc.readAllStandardOutput();
        for (qsizetype nl = m_buffer.indexOf('\n'); nl >= 0; nl = m_buffer.indexOf('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(m_buffer.left(nl)).object();
            m_buffer.remove(0, nl + 1);
            if (o.contains(QLatin1String("ready")))
                m_ready = true;
            else
                latest[o["topic"].toString()] =
                    log.emplace_back(
                           Message{o["topic"].toString(), o["payload"].toString().toUtf8()})
                        .payload;
        }
    }
    QProcess m_proc;
    QByteArray m_buffer;
    bool m_ready = false;
};

// Home Assistant's view of hall-1 from what the broker holds: the states of its entities and
// its host's ("?" unknown, "x" unavailable) in the order of their topics, and the commands,
// [key, command topic, enabled, payload].
QJsonObject homeAssistantView(BrokerClient &broker)
{
    QJsonArray configs;
    QJsonObject topics;
    const QStringList mine = broker.configs({}) + broker.configs(QStringLiteral("hall-1"));
    for (auto it = broker.latest.cbegin(); it != broker.latest.cend(); ++it)
        if (mine.contains(it.key()))
            configs.append(QJsonObject{{"topic", it.key()}, {"payload", QString(*it)}});
        else
            topics.insert(it.key(), QString::fromUtf8(*it));
    QProcess reader;
    reader.start(QStringLiteral(PANEL_PYTHON3), {QStringLiteral(READ_DISCOVERY)});
    reader.write(
        QJsonDocument(QJsonObject{{"configs", configs}, {"cases", QJsonObject{{"now", topics}}}})
            .toJson());
    reader.closeWriteChannel();
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        return {{"error", QString::fromLocal8Bit(reader.readAllStandardError())}};
    const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    return {{"shown", read["cases"]["now"]}, {"commands", read["commands"]}};
}

} // namespace

class MqttEndToEndTest : public QObject
{
    Q_OBJECT
    DbusDaemon m_bus;
    SimProcess m_sim;
    Mosquitto m_broker;
    BrokerClient m_watch;
    std::unique_ptr<ProjectordProcess> m_service;
    QDBusConnection m_client{QStringLiteral("unset")};
    // hall-2 and hall-3 have no line: their discovery is there all the same.
    QList<std::pair<QString, QString>> m_projectors;

    QByteArray rigConfig() const
    {
        return config(QStringLiteral("mqtt://127.0.0.1:%1").arg(m_broker.port()), m_projectors);
    }
    // Lines the projector got from `from` on that change something: any but the reads.
    QByteArrayList commandsSince(qsizetype from)
    {
        QByteArrayList commands;
        for (const QByteArray &line : m_sim.lines().mid(from))
            if (!line.startsWith("CR")) commands << line;
        return commands;
    }

private Q_SLOTS:
    void initTestCase()
    {
        ::umask(077); // the service refuses a password others can read
        QVERIFY(m_sim.start({}));
        QVERIFY2(m_bus.start(), qPrintable(m_bus.errors()));
        QVERIFY2(m_broker.start(), qPrintable(m_broker.errors()));
        bool missing = false;
        if (!m_watch.start(m_broker, &missing) && missing)
            QSKIP("python3-paho-mqtt is not installed");
        m_client = m_bus.connect(QStringLiteral("client"));
        m_projectors = {{"hall-1", m_sim.device()},
                        {"hall-2", absentDevice() + "-2"},
                        {"hall-3", absentDevice() + "-3"}};
        m_service = std::make_unique<ProjectordProcess>(m_bus);
        QVERIFY2(m_service->start(rigConfig()), m_service->errors().constData());
        // A whole round of status reads, the last being the orientation.
        QVERIFY(m_watch.waitFor([&] {
            const QByteArray state = m_watch.latest.value(topic("hall-1", "state"));
            return state.contains(R"("power":"standby")") &&
                   state.contains("\"orientation_read_at\":\"");
        }));
    }

    // Home Assistant's power switch turns the projector on: one command on the line, and the
    // state it reads back on the broker within 2 s.
    void discoveryDrivesTheProjector()
    {
        QJsonObject view = homeAssistantView(m_watch);
        QVERIFY2(!view.contains("error"), qPrintable(view["error"].toString()));
        QCOMPARE(view["shown"].toString(), "off on computer-1 123 standby ? off ?");
        QJsonArray on;
        for (const QJsonValue c : view["commands"].toArray())
            if (c[0] == "power" && on.isEmpty()) on = c.toArray();
        QCOMPARE(on.at(1).toString(), topic("hall-1", "set"));

        const qsizetype lines = m_sim.lines().size(), from = m_watch.log.size();
        QElapsedTimer clock;
        clock.start();
        m_watch.publish(on.at(1).toString(), on.at(3).toString().toUtf8());
        QVERIFY(m_watch.waitForMessage(topic("hall-1", "state"), from, R"("warming-up")"));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_watch.waitForMessage(topic("hall-1", "response"), from), R"({"status":"ok"})");
        QVERIFY(timedSend(m_client) >= 0); // a round trip on the line after the command's
        QCOMPARE(commandsSince(lines), QByteArrayList{"C00"});
        view = homeAssistantView(m_watch);
        QVERIFY(view["shown"].toString().endsWith("warming-up ? on ?"));
    }

    // What must not reach the line is answered with an error and sends nothing; a retained
    // set, found on the broker when the service connects, is as stale as it gets.
    void refusedSets_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("retained");
        QTest::addColumn<QString>("error"); // how its words begin
        QTest::newRow("bad JSON") << QByteArray(R"({"power":)") << false << "not JSON: ";
        QTest::newRow("unknown value") << QByteArray(R"({"input":"hdmi","transaction":2})") << false
                                       << "\"input\" is \"computer-1\"";
        QTest::newRow("retained") << QByteArray(R"({"power":"off","transaction":"stale"})") << true
                                  << "a retained message";
    }
    void refusedSets()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, retained);
        QFETCH(QString, error);
        const QString set = topic("hall-1", "set");
        const qsizetype lines = m_sim.lines().size(), from = m_watch.log.size();
        if (retained) {
            m_service->stop();
            m_watch.publish(set, message, true);
            QVERIFY(m_watch.waitForMessage(set, from));
            QVERIFY2(m_service->start(rigConfig()), m_service->errors().constData());
        } else {
            m_watch.publish(set, message);
        }
        const auto answer = m_watch.waitForMessage(topic("hall-1", "response"), from);
        if (retained) m_watch.publish(set, {}, true);
        QVERIFY(answer);
        const QJsonObject got = QJsonDocument::fromJson(*answer).object();
        QVERIFY2(got["status"] == "error" && got["error"].toString().startsWith(error) &&
                     got["transaction"] == QJsonDocument::fromJson(message)["transaction"],
                 answer->constData());
        QTRY_VERIFY_WITH_TIMEOUT(isOnline(m_client), Patience);
        QVERIFY(timedSend(m_client) >= 0);
        QCOMPARE(commandsSince(lines), QByteArrayList());
    }

    // A projector taken out of the configuration leaves Home Assistant: on a reload at once,
    // and on a start, found among what the host left on the broker.
    void staleDiscoveryRemoved_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::newRow("reload") << false;
        QTest::newRow("restart") << true;
    }
    void staleDiscoveryRemoved()
    {
        QFETCH(bool, restart);
        const QString gone = m_projectors.takeLast().first;
        const QStringList topics = m_watch.configs(gone);
        QCOMPARE(topics.size(), 17);
        if (restart) {
            m_service->stop();
            QVERIFY2(m_service->start(rigConfig()), m_service->errors().constData());
        } else {
            QFile file(m_service->configPath());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(rigConfig()) > 0);
            file.close();
            m_service->signal(SIGHUP);
        }
        QVERIFY(m_watch.waitFor([&] { return m_watch.configs(gone).isEmpty(); }));
        for (const QString &t : topics) QVERIFY2(m_watch.latest.contains(t), qPrintable(t));
        QCOMPARE(m_watch.configs({}).size(), 1);
        QCOMPARE(m_watch.configs(QStringLiteral("hall-1")).size(), 17);
    }

    // Killed, the host cannot say goodbye: its will does, and Home Assistant shows it all
    // unavailable.
    void killedHostGoesOffline()
    {
        QVERIFY(m_watch.waitFor([&] { return m_watch.latest.value(Status) == "online"; }));
        const qsizetype from = m_watch.log.size();
        m_service->signal(SIGKILL);
        QVERIFY(m_service->waitForExit());
        QVERIFY(m_watch.waitForMessage(Status, from, "offline"));
        QCOMPARE(homeAssistantView(m_watch)["shown"].toString(), "x off x x x x x x");
    }

    // However the broker fails, D-Bus calls answer as fast as ever; a broker that comes late is
    // found by the service's next try.
    void brokerTroubleDelaysNothing_data()
    {
        QTest::addColumn<QString>("trouble");
        for (const char *trouble : {"down", "silent", "unresolvable", "late"})
            QTest::newRow(trouble) << trouble;
    }
    void brokerTroubleDelaysNothing()
    {
        QFETCH(QString, trouble);
        QTcpServer silent; // takes connections and never says a word
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const quint16 port = trouble == QLatin1String("silent") ? silent.serverPort() : freePort();
        const QString host = trouble == QLatin1String("unresolvable")
                                 ? QStringLiteral("broker.nonexistent.invalid")
                                 : QStringLiteral("127.0.0.1");
        m_service = std::make_unique<ProjectordProcess>(m_bus);
        QVERIFY2(m_service->start(config(QStringLiteral("mqtt://%1:%2").arg(host).arg(port),
                                         {{"hall-1", m_sim.device()}})),
                 m_service->errors().constData());
        QTRY_VERIFY_WITH_TIMEOUT(isOnline(m_client), Patience);
        // Through the first attempts and the first retry.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 2500) {
            const qint64 took = timedSend(m_client);
            QVERIFY2(took >= 0 && took < 1500, qPrintable(QString::number(took)));
        }
        if (trouble != QLatin1String("late")) return;
        Mosquitto late;
        QVERIFY2(late.start(port), qPrintable(late.errors()));
        BrokerClient watch;
        bool missing = false;
        QVERIFY(watch.start(late, &missing));
        QVERIFY(watch.waitFor(
            [&] {
                return watch.latest.value(Status) == "online" &&
                       watch.latest.value(topic("hall-1", "state")).contains(R"("online":true)");
            },
            30000));
    }
};

QTEST_GUILESS_MAIN(MqttEndToEndTest)
#include "tst_mqtt_e2e.moc"
