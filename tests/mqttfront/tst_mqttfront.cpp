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

const DiscoveryContext Hall{"homeassistant", "projectord/hall", "hall", "2.0.0", "https://x.test"};

} // namespace

class TestMqttFront : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void state();
    void set();
    void discovery();
};

void TestMqttFront::state()
{
    // Null while unknown is covered as Home Assistant reads it, below.
    StateInput in = input(PowerState::WarmingUp, true, 7, true, false);
    QCOMPARE(stateJson(in),
             R"({"audio_mute":true,"failure":"","input":"video","input_read_at":)"
             R"("2027-01-15T08:00:00Z","lamp_hours":7,"lamp_hours_read_at":"2027-01-15T08:00:00Z",)"
             R"("online":true,"orientation":null,"orientation_read_at":null,"power":"warming-up",)"
             R"("power_read_at":"2027-01-15T08:00:00Z","video_mute":false})");
    in.online = false;
    QVERIFY(stateJson(in).contains(R"("failure":"the device is missing")"));

    // Published only when a value changes.
    StateChanges changes;
    MuteState mutes;
    in = input(PowerState::Standby);
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
    QVERIFY(!applyMuteLine(mutes, "C0B") && !applyMuteLine(mutes, "C00\r") && !changed([] {}));
    QVERIFY(applyMuteLine(mutes, "C0B\r") && applyMuteLine(mutes, "C0E\r") && changed([] {}) &&
            in.audioMute == true && in.videoMute == false);
    changes.forget();
    QCOMPARE(changes.take(in), stateJson(in));
}

void TestMqttFront::set()
{
    const struct
    {
        QByteArray message;
        QString result; // [the transaction] the codes, or "error: " and how the words begin
        bool retained = false;
    } rows[] = {
        {R"({"video_mute":true,"input":"computer-2","power":"on"})", "C00 C06 C0D"},
        {R"({"power":"off","audio_mute":false,"command":"freeze-on"})", "C0C C43 C02"},
        {R"({"command":"status","transaction":7})", "[7] CR0"},
        {R"({"transaction":"t","power":"on"})", R"(["t"] error: a retained message)", true},
        {R"({"power":)", "error: not JSON: unterminated object at byte 9"},
        {R"(["power"])", "error: a set message is a JSON object"},
        {R"({"transaction":"a"})", R"(["a"] error: nothing to do)"},
        {R"({"power":"on","brightness":3})", "error: unknown key \"brightness\"; the keys"},
        {R"({"power":"toggle"})", R"(error: "power" is "on" or "off", not "toggle")"},
        {R"({"power":true,"transaction":null})",
         R"([null] error: "power" is "on" or "off", not true)"},
        {R"({"input":"hdmi"})", R"(error: "input" is "computer-1", "computer-2" or "video", not)"},
        {R"({"audio_mute":"on"})", R"(error: "audio_mute" is true or false, not "on")"},
        {R"({"command":"self-destruct"})", R"(error: unknown command "self-destruct")"},
        {R"({"power":"on","transaction":[1]})", R"(error: "transaction" is a string, a number)"},
        {"{\"command\":\"" + QByteArray(MaxSetMessageBytes, 'x') + "\"}",
         "error: the message is 4110 bytes long; at most 4096 are read"}};
    for (const auto &[message, result, retained] : rows) {
        const SetRequest r = parseSet(message, retained);
        const QString transaction =
            QJsonDocument(QJsonArray{r.transaction}).toJson(QJsonDocument::Compact);
        const QString got = (r.transaction.isUndefined() ? "" : transaction.chopped(1) + "] ") +
                            (r.isValid() ? r.codes.join(u' ') : "error: " + r.error);
        QVERIFY2(got.startsWith(result) && (r.isValid() ? got == result : r.codes.isEmpty()),
                 qPrintable(got));
    }
    QCOMPARE(responseJson(QJsonValue::Undefined, true), R"({"status":"ok"})");
    QCOMPARE(responseJson(1, false, "x"), R"({"error":"x","status":"error","transaction":1})");
    QCOMPARE(FrontTopics::setTarget("p/h", "p/h/Beamer 1/set"), "Beamer 1");
    for (const char *other : {"p/h/set", "p/h//set", "p/h/a/b/set", "p/hx/a/set", "p/h/a/state"})
        QVERIFY2(!FrontTopics::setTarget("p/h", other), other);
}

void TestMqttFront::discovery()
{
    using namespace Discovery;
    const DiscoveryContext foyer{"homeassistant", "projectord/foyer", "foyer", {}, {}};
    QVERIFY(objectId("Beamer-1_a") == "Beamer-1_a" && objectId("Beamer 1").startsWith("Beamer_1-"));
    // Names that differ only where they are replaced, and hosts, stay apart.
    const auto configs = hostConfigs(Hall) + projectorConfigs(Hall, "Beamer 1") +
                         projectorConfigs(Hall, "Beamer_1") + projectorConfigs(foyer, "Beamer 1");
    QSet<QString> uniqueIds, devices;
    const QRegularExpression own("^homeassistant/[a-z_]+/projectord_(hall|foyer)/[\\w-]+/config$");
    for (const RetainedMessage &m : configs) {
        QVERIFY2(own.match(m.topic).hasMatch(), qPrintable(m.topic));
        const QJsonDocument config = QJsonDocument::fromJson(m.payload);
        uniqueIds << config["unique_id"].toString();
        devices << config["device"]["identifiers"][0].toString();
    }
    QVERIFY(uniqueIds.size() == configs.size() && devices.size() == 4);

    const RetainedMessage gone = projectorConfigs(Hall, "Beamer_1").last(); // no longer configured
    const QSet<QString> current = configTopics(Hall, {"Beamer 1"});
    const std::pair<RetainedMessage, bool> found[] = {
        {configs.at(3), false},   // Beamer 1's
        {configs.first(), false}, // the host's own
        {gone, true},
        {{gone.topic, {}}, false},                                      // already removed
        {{gone.topic, R"({"device":{"via_device":"other"}})"}, false}}; // another host's
    for (const auto &[m, stale] : found)
        QVERIFY2(isStale(Hall, current, m.topic, m.payload) == stale, m.payload.constData());

    // Every entity as Home Assistant shows it, and every command it sends as the service reads it.
    const QString name = "Beamer 1";
    const std::tuple<const char *, StateInput, const char *> cases[] = {
        // status, state: the states shown, "?" for unknown and "x" for unavailable, of the host's
        // service, then power power_state input lamp_hours problem audio_mute video_mute
        {"online", input(PowerState::WarmingUp), "on on warming-up video 1234 off ? ?"},
        {"online", input(PowerState::On, true, 1, true, false), "on on on video 1 off on off"},
        {"online", input(PowerState::Standby, true, 0), "on off standby video 0 off ? ?"},
        {"online", input(PowerState::CoolingDown), "on off cooling-down video 1234 off ? ?"},
        {"online", input(PowerState::KeyLock), "on ? key-lock video 1234 on ? ?"},
        {"online", input(PowerState::TemperatureAbnormality),
         "on ? temperature-abnormality video 1234 on ? ?"},
        {"online", StateInput{true, {}, {}, {}, {}}, "on ? ? ? ? ? ? ?"},
        {"online", input(PowerState::On, false), "on x x x x x x x"},
        {"offline", input(PowerState::On), "off x x x x x x x"},
    };
    QJsonArray announced;
    for (const auto &m : hostConfigs(Hall) + projectorConfigs(Hall, name))
        announced.append(QJsonObject{{"topic", m.topic}, {"payload", QString(m.payload)}});
    QJsonObject topics;
    for (const auto &[status, in, shown] : cases)
        topics.insert(shown,
                      QJsonObject{{FrontTopics::status(Hall.base), status},
                                  {FrontTopics::state(Hall.base, name), QString(stateJson(in))}});
    QProcess reader;
    reader.start(PANEL_PYTHON3, {READ_DISCOVERY});
    reader.write(QJsonDocument(QJsonObject{{"configs", announced}, {"cases", topics}}).toJson());
    reader.closeWriteChannel();
    QVERIFY(reader.waitForFinished(60000));
    if (reader.exitCode() == 77) QSKIP("python3-jinja2 is not installed");
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();

    for (const auto &[status, in, shown] : cases) QCOMPARE(read["cases"][shown].toString(), shown);
    QStringList sent; // "!" for an entity disabled by default
    for (const QJsonValue &c : read["commands"].toArray()) {
        QCOMPARE(c[1].toString(), FrontTopics::set(Hall.base, name));
        const SetRequest r = parseSet(c[3].toString().toUtf8());
        sent << (c[2].toBool() ? "" : "!") + c[0].toString() + ':' +
                    (r.isValid() ? r.codes.join(' ') : r.error);
    }
    sent.sort();
    QCOMPARE(sent.join(' '),
             "!auto-image-adjustment:C89 !clear-the-on-screen-display:C1E !freeze-off:C44 "
             "!freeze-on:C43 !menu-off:C1D !menu-on:C1C !picture-back-to-normal:C1F "
             "!presentation-timer:C8A !screen-mode-normal:C0F !screen-mode-wide:C10 "
             "audio_mute:C0B audio_mute:C0C input:C05 input:C06 input:C07 power:C00 power:C02 "
             "video_mute:C0D video_mute:C0E");
}

QTEST_GUILESS_MAIN(TestMqttFront)
#include "tst_mqttfront.moc"
