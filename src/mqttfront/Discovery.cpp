// SPDX-License-Identifier: MIT
#include "Discovery.h"

#include "Commands.h"
#include "FrontTopics.h"
#include "StatusReads.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>

namespace {

constexpr std::array<std::string_view, 10> ButtonCodes{"C1C", "C1D", "C43", "C44", "C0F",
                                                       "C10", "C89", "C8A", "C1F", "C1E"};
constexpr bool buttonsAreOneShot()
{
    for (const std::string_view code : ButtonCodes) {
        const int i = commandIndex(code);
        if (i < 0 || Commands[std::size_t(i)].kind != CommandKind::OneShot) return false;
    }
    return true;
}
static_assert(buttonsAreOneShot(), "a button's code is no one-shot command");

// Plain Jinja only: Home Assistant renders these with value_json, and "None" makes a value
// unknown. An abnormal state is neither on nor off for the power switch.
const QString PowerSwitchTemplate = QStringLiteral(
    "{% if value_json.power in ['on', 'warming-up'] %}ON"
    "{% elif value_json.power in ['standby', 'cooling-down'] %}OFF{% else %}None{% endif %}");
const QString ProblemTemplate = QStringLiteral(
    "{% if value_json.power is none %}None"
    "{% elif value_json.power in ['power-abnormality', 'temperature-abnormality', 'key-lock'] %}"
    "ON{% else %}OFF{% endif %}");
const QString MuteTemplate = QStringLiteral(
    "{% if value_json.%1 is none %}None{% elif value_json.%1 %}ON{% else %}OFF{% endif %}");
const QString LineTemplate = QStringLiteral("{{ 'online' if value_json.online else 'offline' }}");

QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// A message to send, as the text a configuration carries.
QString payload(const QString &key, const QJsonValue &value)
{
    return QString::fromUtf8(compact({{key, value}}));
}

QJsonObject origin(const DiscoveryContext &c)
{
    return {{QStringLiteral("name"), QStringLiteral("projectord")},
            {QStringLiteral("sw_version"), c.version},
            {QStringLiteral("support_url"), c.projectUrl}};
}

QJsonObject availability(const QString &topic, const QString &valueTemplate = {})
{
    QJsonObject a{{QStringLiteral("topic"), topic},
                  {QStringLiteral("payload_available"), QLatin1String(FrontTopics::Online)},
                  {QStringLiteral("payload_not_available"), QLatin1String(FrontTopics::Offline)}};
    if (!valueTemplate.isEmpty()) a.insert(QStringLiteral("value_template"), valueTemplate);
    return a;
}

QString configTopic(const DiscoveryContext &c, const char *component, const QString &objectId)
{
    return QStringLiteral("%1/%2/%3/%4/config")
        .arg(c.prefix, QLatin1String(component), Discovery::hostDeviceId(c.host), objectId);
}

// What every entity of a projector shares, with the key that tells it from the others.
struct ProjectorEntities
{
    const DiscoveryContext &c;
    const QString &projector;
    QList<RetainedMessage> messages;

    QJsonObject entity(const QString &key, const QString &name) const
    {
        const QString device = Discovery::projectorDeviceId(c.host, projector);
        const QString state = FrontTopics::state(c.base, projector);
        return {
            {QStringLiteral("name"), name},
            {QStringLiteral("unique_id"), device + u'_' + key},
            {QStringLiteral("device"),
             QJsonObject{{QStringLiteral("identifiers"), QJsonArray{device}},
                         {QStringLiteral("name"), projector},
                         {QStringLiteral("via_device"), Discovery::hostDeviceId(c.host)}}},
            {QStringLiteral("origin"), origin(c)},
            {QStringLiteral("availability"), QJsonArray{availability(FrontTopics::status(c.base)),
                                                        availability(state, LineTemplate)}},
            {QStringLiteral("availability_mode"), QStringLiteral("all")},
            {QStringLiteral("qos"), 1},
        };
    }
    QJsonObject reading(const QString &key, const QString &name, const QString &valueTemplate)
    {
        QJsonObject o = entity(key, name);
        o.insert(QStringLiteral("state_topic"), FrontTopics::state(c.base, projector));
        o.insert(QStringLiteral("value_template"), valueTemplate);
        return o;
    }
    QJsonObject toSwitch(const QString &key, const QString &name, const QString &valueTemplate,
                         const QJsonValue &on, const QJsonValue &off)
    {
        QJsonObject o = reading(key, name, valueTemplate);
        o.insert(QStringLiteral("command_topic"), FrontTopics::set(c.base, projector));
        o.insert(QStringLiteral("payload_on"), payload(key, on));
        o.insert(QStringLiteral("payload_off"), payload(key, off));
        o.insert(QStringLiteral("state_on"), QStringLiteral("ON"));
        o.insert(QStringLiteral("state_off"), QStringLiteral("OFF"));
        return o;
    }
    void add(const char *component, const QString &key, const QJsonObject &config)
    {
        const QString id = Discovery::objectId(projector) + u'_' + key;
        messages.append({configTopic(c, component, id), compact(config)});
    }
};

QString buttonName(QString command)
{
    command.replace(u'-', u' ');
    command[0] = command[0].toUpper();
    return command;
}

} // namespace

namespace Discovery {

QString objectId(const QString &text)
{
    QString id = text;
    bool replaced = text.isEmpty();
    for (QChar &ch : id) {
        const char16_t u = ch.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            u == '_' || u == '-')
            continue;
        ch = u'_';
        replaced = true;
    }
    if (!replaced) return id;
    const QByteArray hash = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1);
    return id + u'-' + QString::fromLatin1(hash.toHex().left(8));
}

QString hostDeviceId(const QString &host)
{
    return QStringLiteral("projectord_") + objectId(host);
}

QString projectorDeviceId(const QString &host, const QString &name)
{
    return hostDeviceId(host) + u'_' + objectId(name);
}

const QStringList &buttonCommands()
{
    static const QStringList names = [] {
        QStringList list;
        for (const std::string_view code : ButtonCodes) {
            const std::string_view name = Commands[std::size_t(commandIndex(code))].name;
            list << QString::fromLatin1(name.data(), qsizetype(name.size()));
        }
        return list;
    }();
    return names;
}

QList<RetainedMessage> hostConfigs(const DiscoveryContext &c)
{
    const QString id = hostDeviceId(c.host);
    const QJsonObject config{
        {QStringLiteral("name"), QStringLiteral("Service")},
        {QStringLiteral("unique_id"), id + QStringLiteral("_service")},
        {QStringLiteral("device"), QJsonObject{{QStringLiteral("identifiers"), QJsonArray{id}},
                                               {QStringLiteral("name"), c.host},
                                               {QStringLiteral("sw_version"), c.version}}},
        {QStringLiteral("origin"), origin(c)},
        {QStringLiteral("device_class"), QStringLiteral("connectivity")},
        {QStringLiteral("entity_category"), QStringLiteral("diagnostic")},
        {QStringLiteral("state_topic"), FrontTopics::status(c.base)},
        {QStringLiteral("payload_on"), QLatin1String(FrontTopics::Online)},
        {QStringLiteral("payload_off"), QLatin1String(FrontTopics::Offline)},
        {QStringLiteral("qos"), 1}};
    return {{configTopic(c, "binary_sensor", QStringLiteral("service")), compact(config)}};
}

QList<RetainedMessage> projectorConfigs(const DiscoveryContext &c, const QString &projector)
{
    ProjectorEntities e{c, projector, {}};
    const QString power = QStringLiteral("power");
    e.add("switch", power,
          e.toSwitch(power, QStringLiteral("Power"), PowerSwitchTemplate, QStringLiteral("on"),
                     QStringLiteral("off")));

    QJsonObject state = e.reading(QStringLiteral("power_state"), QStringLiteral("Power state"),
                                  QStringLiteral("{{ value_json.power }}"));
    QJsonArray states;
    for (int i = 0; i <= int(PowerState::KeyLock); ++i) states.append(name(PowerState(i)));
    state.insert(QStringLiteral("device_class"), QStringLiteral("enum"));
    state.insert(QStringLiteral("options"), states);
    // The failure and the read times, for whoever looks further.
    state.insert(QStringLiteral("json_attributes_topic"), FrontTopics::state(c.base, projector));
    e.add("sensor", QStringLiteral("power_state"), state);

    QJsonObject input = e.reading(QStringLiteral("input"), QStringLiteral("Input"),
                                  QStringLiteral("{{ value_json.input }}"));
    QJsonArray inputs;
    for (int i = 0; i <= int(InputSource::Video); ++i) inputs.append(name(InputSource(i)));
    input.insert(QStringLiteral("options"), inputs);
    input.insert(QStringLiteral("command_topic"), FrontTopics::set(c.base, projector));
    input.insert(QStringLiteral("command_template"),
                 QStringLiteral("{\"input\": \"{{ value }}\"}"));
    e.add("select", QStringLiteral("input"), input);

    QJsonObject lamp = e.reading(QStringLiteral("lamp_hours"), QStringLiteral("Lamp hours"),
                                 QStringLiteral("{{ value_json.lamp_hours }}"));
    lamp.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("h"));
    lamp.insert(QStringLiteral("device_class"), QStringLiteral("duration"));
    // A new lamp starts again from zero, which Home Assistant takes as a reset.
    lamp.insert(QStringLiteral("state_class"), QStringLiteral("total_increasing"));
    lamp.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    e.add("sensor", QStringLiteral("lamp_hours"), lamp);

    QJsonObject problem =
        e.reading(QStringLiteral("problem"), QStringLiteral("Problem"), ProblemTemplate);
    problem.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
    problem.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    e.add("binary_sensor", QStringLiteral("problem"), problem);

    for (const auto &[key, label] :
         {std::pair{"audio_mute", "Audio mute"}, std::pair{"video_mute", "Video mute"}}) {
        const QString k = QLatin1String(key);
        e.add("switch", k, e.toSwitch(k, QLatin1String(label), MuteTemplate.arg(k), true, false));
    }

    for (const QString &command : buttonCommands()) {
        QJsonObject button = e.entity(command, buttonName(command));
        button.insert(QStringLiteral("command_topic"), FrontTopics::set(c.base, projector));
        button.insert(QStringLiteral("payload_press"), payload(QStringLiteral("command"), command));
        button.insert(QStringLiteral("enabled_by_default"), false);
        e.add("button", command, button);
    }
    return e.messages;
}

QStringList projectorConfigTopics(const DiscoveryContext &c, const QString &projector)
{
    QStringList topics;
    for (const RetainedMessage &m : projectorConfigs(c, projector)) topics << m.topic;
    return topics;
}

QList<RetainedMessage> projectorRemoval(const DiscoveryContext &c, const QString &projector)
{
    QList<RetainedMessage> removal;
    for (const QString &topic : projectorConfigTopics(c, projector)) removal.append({topic, {}});
    return removal;
}

QString ownConfigsFilter(const DiscoveryContext &c)
{
    return QStringLiteral("%1/+/%2/+/config").arg(c.prefix, hostDeviceId(c.host));
}

QSet<QString> configTopics(const DiscoveryContext &c, const QStringList &projectors)
{
    QSet<QString> topics;
    for (const RetainedMessage &m : hostConfigs(c)) topics << m.topic;
    for (const QString &projector : projectors)
        for (const QString &topic : projectorConfigTopics(c, projector)) topics << topic;
    return topics;
}

bool isStale(const DiscoveryContext &c, const QSet<QString> &current, const QString &topic,
             const QByteArray &payload)
{
    if (payload.isEmpty() || current.contains(topic)) return false;
    const QJsonObject device =
        QJsonDocument::fromJson(payload).object().value(QStringLiteral("device")).toObject();
    const QString host = hostDeviceId(c.host);
    return device.value(QStringLiteral("via_device")).toString() == host ||
           device.value(QStringLiteral("identifiers")).toArray().contains(host);
}

} // namespace Discovery
