// SPDX-License-Identifier: MIT
// The MQTT front's payloads: the state, the set messages and their answers, and the discovery,
// read back by plain Jinja2 as Home Assistant reads it.
#include "Discovery.h"
#include "FrontTopics.h"
#include "SetMessage.h"
#include "StateJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

const QDateTime At = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC); // 2027-01-15T08:00:00Z

StateInput input(std::optional<PowerState> power, bool online = true, int hours = 1234,
                 std::optional<bool> audioMute = {}, std::optional<bool> videoMute = {})
{
    StateInput in{online, "the device is missing", {}, audioMute, videoMute};
    if (power) in.state.power = {*power, At.addMSecs(400)};
    in.state.input = {InputSource::Video, At};
    in.state.lampHours = {hours, At};
    return in;
}

QJsonObject object(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

const DiscoveryContext Hall{"homeassistant", "projectord/hall", "hall", "2.0.0", "https://x.test"};

} // namespace

class TestMqttFront : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stateJson();
    void stateChanges();
    void parseSet_data();
    void parseSet();
    void discoveryIds();
    void discoveryAsRead();
};

void TestMqttFront::stateJson()
{
    // Some keys with their values; every key is in some row, which checks that it is there.
    const std::pair<StateInput, const char *> rows[] = {
        {input({}), R"({"power":null,"power_read_at":null,"audio_mute":null,"failure":"",
                        "orientation":null,"orientation_read_at":null,"online":true})"},
        {input(PowerState::WarmingUp, true, 1234, true, false),
         R"({"power":"warming-up","power_read_at":"2027-01-15T08:00:00Z","audio_mute":true,
             "video_mute":false,"input":"video","input_read_at":"2027-01-15T08:00:00Z",
             "lamp_hours":1234,"lamp_hours_read_at":"2027-01-15T08:00:00Z"})"},
        {input(PowerState::KeyLock, false),
         R"({"online":false,"failure":"the device is missing"})"},
    };
    for (const auto &[in, has] : rows) {
        const QByteArray json = ::stateJson(in);
        QCOMPARE(json, ::stateJson(StateInput(in)));
        const QJsonObject got = QJsonDocument::fromJson(json).object(), want = object(has);
        QCOMPARE(got.size(), 12);
        for (auto it = want.begin(); it != want.end(); ++it)
            QVERIFY2(got[it.key()] == it.value(), json.constData());
    }
}

void TestMqttFront::stateChanges()
{
    StateChanges changes;
    KnownMutes mutes;
    StateInput in = input(PowerState::Standby);
    const auto changed = [&](auto edit) {
        edit();
        std::tie(in.audioMute, in.videoMute) = std::pair(mutes.audio, mutes.video);
        return changes.take(in).has_value();
    };
    QVERIFY(changed([] {}));
    QVERIFY(!changed([&] { in.state.power.at = At.addSecs(5); })); // the same, read again
    QVERIFY(changed([&] { in.state.power.value = PowerState::WarmingUp; }));
    QVERIFY(changed([&] { in.online = false; }));
    QVERIFY(changed([&] { in.failure = "another"; }));
    QVERIFY(!changed([&] { QVERIFY(!mutes.apply("C0B")); })); // not a whole line
    QVERIFY(changed([&] { QVERIFY(mutes.apply("C0B\r")); }));
    QVERIFY(changed([&] { QVERIFY(mutes.apply("C0E\r")); }));
    QCOMPARE(in.audioMute, true);
    QCOMPARE(in.videoMute, false);
    changes.forget();
    QCOMPARE(changes.take(in), ::stateJson(in));
}

void TestMqttFront::parseSet_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("result"); // the codes, or "error: " and how the words begin
    QTest::addColumn<QByteArray>("response");
    const auto row = [](const char *m, QString r, QByteArray a = {}) {
        QTest::newRow(m) << QByteArray(m) << r << a;
    };
    row(R"({"power":"on"})", "C00", R"({"status":"ok"})");
    row(R"({"video_mute":true,"input":"computer-2","power":"on"})", "C00 C06 C0D");
    row(R"({"power":"off","audio_mute":false,"command":"freeze-on"})", "C0C C43 C02");
    row(R"({"command":"c1f","transaction":7})", "C1F", R"({"status":"ok","transaction":7})");
    row(R"({"command":"status"})", "CR0");
    row(R"({"power":)", "error: not JSON: unterminated object at byte 9",
        R"({"error":"not JSON: unterminated object at byte 9","status":"error"})");
    row(R"(["power"])", "error: a set message is a JSON object");
    row("{}", "error: nothing to do");
    row(R"({"transaction":"a"})", "error: nothing to do",
        R"({"error":"nothing to do","status":"error","transaction":"a"})");
    row(R"({"power":"on","brightness":3})", "error: unknown key \"brightness\"; the keys are");
    row(R"({"power":"toggle"})", R"(error: "power" is "on" or "off", not "toggle")");
    row(R"({"power":true,"transaction":null})", R"(error: "power" is "on" or "off", not true)",
        R"({"error":"\"power\" is \"on\" or \"off\", not true","status":"error","transaction":null})");
    row(R"({"input":"hdmi"})", R"(error: "input" is "computer-1", "computer-2" or "video", not)");
    row(R"({"audio_mute":"on"})", R"(error: "audio_mute" is true or false, not "on")");
    row(R"({"command":"self-destruct"})", R"(error: unknown command "self-destruct")");
    row(R"({"power":"on","transaction":[1]})", R"(error: "transaction" is a string, a number)");
    QTest::newRow("too long") << "{\"command\":\"" + QByteArray(MaxSetMessageBytes, 'x') + "\"}"
                              << "error: the message is 4110 bytes long; at most 4096 are read"
                              << QByteArray();
}

void TestMqttFront::parseSet()
{
    QFETCH(QByteArray, message);
    QFETCH(QString, result);
    QFETCH(QByteArray, response);
    const SetRequest r = ::parseSet(message);
    const QString got = r.isValid() ? r.codes.join(u' ') : "error: " + r.error;
    QVERIFY2(r.isValid() ? got == result : got.startsWith(result), qPrintable(got));
    QVERIFY(r.isValid() || r.codes.isEmpty());
    if (!response.isEmpty()) QCOMPARE(responseJson(r.transaction, r.isValid(), r.error), response);
}

void TestMqttFront::discoveryIds()
{
    using namespace Discovery;
    QCOMPARE(objectId("Beamer-1_a"), "Beamer-1_a");
    QVERIFY(objectId("Beamer 1").startsWith("Beamer_1-") && objectId("Beamer 1").size() == 17);
    QCOMPARE(projectorDeviceId("hall", "Beamer 1"), projectorDeviceId("hall", "Beamer 1"));
    const QStringList ids{projectorDeviceId("hall", "Beamer 1"),
                          projectorDeviceId("hall", "Beamer_1"),
                          projectorDeviceId("hall", "Beamer?1"),
                          projectorDeviceId("foyer", "Beamer 1"),
                          hostDeviceId("hall"),
                          objectId("")};
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), ids.size());

    const auto configs =
        hostConfigs(Hall) + projectorConfigs(Hall, "Beamer 1") + projectorConfigs(Hall, "Beamer_1");
    QSet<QString> uniqueIds;
    const QRegularExpression own("^homeassistant/[a-z_]+/projectord_hall/[\\w-]+/config$");
    for (const RetainedMessage &m : configs) {
        QVERIFY2(own.match(m.topic).hasMatch(), qPrintable(m.topic));
        uniqueIds << QJsonDocument::fromJson(m.payload)["unique_id"].toString();
    }
    QCOMPARE(uniqueIds.size(), configs.size());
    for (const RetainedMessage &m : projectorRemoval(Hall, "Beamer 1"))
        QVERIFY(m.payload.isEmpty() && projectorConfigTopics(Hall, "Beamer 1").contains(m.topic));

    const QString gone = configs.last().topic; // of Beamer_1, no longer configured
    const std::tuple<QString, QByteArray, bool> found[] = {
        {configs.at(3).topic, configs.at(3).payload, false},     // Beamer 1's
        {configs.first().topic, configs.first().payload, false}, // the host's own
        {gone, configs.last().payload, true},
        {gone, {}, false}, // already removed
        {gone, R"({"device":{"via_device":"other"}})", false}};
    for (const auto &[topic, payload, stale] : found)
        QVERIFY2(isStale(Hall, {"Beamer 1"}, topic, payload) == stale, payload.constData());
}

// Every entity as Home Assistant shows it for the host's status and a projector's state, and
// every command it can send, read back by the service.
void TestMqttFront::discoveryAsRead()
{
    const QString name = "Beamer 1";
    const struct
    {
        const char *status;
        StateInput in;
        // power power_state input lamp_hours problem audio_mute video_mute service available
        const char *shown;
    } cases[] = {
        {"online", input(PowerState::WarmingUp), "on warming-up video 1234 off - - on yes"},
        {"online", input(PowerState::On, true, 1, true, false), "on on video 1 off on off on yes"},
        {"online", input(PowerState::Standby, true, 0), "off standby video 0 off - - on yes"},
        {"online", input(PowerState::CoolingDown), "off cooling-down video 1234 off - - on yes"},
        {"online", input(PowerState::KeyLock), "- key-lock video 1234 on - - on yes"},
        {"online", StateInput{true, {}, {}, {}, {}}, "- - - - - - - on yes"},
        {"online", input(PowerState::TemperatureAbnormality, false),
         "- temperature-abnormality video 1234 on - - on no"},
        {"offline", input(PowerState::On), "on on video 1234 off - - off no"},
    };
    QJsonArray configs;
    for (const auto &m : Discovery::hostConfigs(Hall) + Discovery::projectorConfigs(Hall, name))
        configs.append(QJsonObject{{"topic", m.topic}, {"payload", QString(m.payload)}});
    QJsonObject topics;
    for (const auto &c : cases)
        topics.insert(c.shown, QJsonObject{{FrontTopics::status(Hall.base), c.status},
                                           {FrontTopics::state(Hall.base, name),
                                            QString(::stateJson(c.in))}});
    QProcess reader;
    reader.start(PANEL_PYTHON3, {READ_DISCOVERY});
    reader.write(QJsonDocument(QJsonObject{{"configs", configs}, {"cases", topics}}).toJson());
    reader.closeWriteChannel();
    QVERIFY(reader.waitForFinished(60000));
    if (reader.exitCode() == 77) QSKIP("python3-jinja2 is not installed");
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();

    const QString device = Discovery::projectorDeviceId(Hall.host, name) + '_';
    const QString service = Discovery::hostDeviceId(Hall.host) + "_service";
    for (const auto &c : cases) {
        const QJsonObject seen = read["cases"][c.shown].toObject();
        QStringList shown;
        for (const char *key :
             {"power", "power_state", "input", "lamp_hours", "problem", "audio_mute", "video_mute"})
            shown << seen[device + key][0].toString();
        shown << seen[service][0].toString();
        QSet<bool> available; // alike for all of the projector's entities
        for (auto it = seen.begin(); it != seen.end(); ++it)
            if (it.key() != service) available << it.value()[1].toBool();
        shown << (available.size() > 1 ? "mixed" : *available.begin() ? "yes" : "no");
        QCOMPARE(shown.join(' ').replace("unknown", "-"), c.shown);
    }

    QStringList sent;
    const QJsonObject entities = read["entities"].toObject();
    for (auto it = entities.begin(); it != entities.end(); ++it) {
        const QString key = it.key().mid(device.size());
        const QJsonObject e = it.value().toObject();
        const bool button = e["component"] == "button";
        QVERIFY2(e["errors"].toArray().isEmpty() && e["enabled"].toBool() == !button,
                 qPrintable(it.key()));
        for (const QJsonValue &command : e["commands"].toArray()) {
            const SetRequest r = ::parseSet(command.toString().toUtf8());
            QVERIFY2(r.isValid(), qPrintable(command.toString()));
            QCOMPARE(e["command_topic"].toString(), FrontTopics::set(Hall.base, name));
            if (button)
                QCOMPARE(r.codes, QStringList(findCommand(key)->code));
            else
                sent << key + ':' + r.codes.join(' ');
        }
    }
    sent.sort();
    QCOMPARE(sent.join(' '), "audio_mute:C0B audio_mute:C0C input:C05 input:C06 input:C07 "
                             "power:C00 power:C02 video_mute:C0D video_mute:C0E");
}

QTEST_GUILESS_MAIN(TestMqttFront)
#include "tst_mqttfront.moc"
