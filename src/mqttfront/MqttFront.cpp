// SPDX-License-Identifier: MIT
#include "MqttFront.h"

#include "FrontTopics.h"
#include "MqttClient.h"
#include "PanelVersion.h"
#include "ProjectorHost.h"

const QString MqttFront::Client = QStringLiteral("mqtt");

namespace {
constexpr int Qos = 1; // state and commands: at least once

// The host in the discovery's ids: its topic, which is each host's own by design (the default
// ends in the machine's name), rather than the machine's name itself, so that hosts sharing a
// machine never take each other's discovery for stale.
QString discoveryHost(const QString &topic)
{
    const QString usual = QStringLiteral("projectord/");
    QString host = topic.startsWith(usual) ? topic.mid(usual.size()) : topic;
    return host.replace(u'/', u'_');
}
} // namespace

MqttFront::MqttFront(const MqttConfig &config, TimerFactory timers, QObject *parent)
    : QObject(parent),
      m_config(config), m_discovery{config.discovery, config.topic, discoveryHost(config.topic),
                                    QLatin1String(PanelVersion), QLatin1String(PanelHomepage)}
{
    MqttClient::Options o;
    o.tls = config.tls;
    o.host = config.host;
    o.port = config.port;
    o.username = config.username;
    o.password = config.password;
    o.caFile = config.caFile;
    // One connection per base topic: a second service on the same topic takes it over.
    o.clientId = QStringLiteral("projectord-") + Discovery::objectId(config.topic);
    o.will = MqttClient::Message{FrontTopics::status(config.topic),
                                 QByteArray(FrontTopics::Offline), Qos, true};
    m_client = std::make_unique<MqttClient>(o, std::move(timers));
    connect(m_client.get(), &MqttClient::connected, this, &MqttFront::onConnected);
    connect(m_client.get(), &MqttClient::received, this, &MqttFront::onReceived);
    connect(m_client.get(), &MqttClient::message, this,
            [this](const QString &line) { Q_EMIT message(line, {}); });
}

MqttFront::~MqttFront() = default;

void MqttFront::start()
{
    m_client->subscribe(FrontTopics::setFilter(m_config.topic), Qos);
    if (!m_discovery.prefix.isEmpty()) {
        m_client->subscribe(FrontTopics::discoveryBirth(m_discovery.prefix), Qos);
        // Retained configurations of earlier runs: those of projectors gone are removed.
        m_client->subscribe(Discovery::ownConfigsFilter(m_discovery), Qos);
    }
    m_client->start();
}

void MqttFront::stop(std::chrono::milliseconds patience)
{
    m_client->stop(MqttClient::Message{FrontTopics::status(m_config.topic),
                                       QByteArray(FrontTopics::Offline), Qos, true},
                   patience);
}

QStringList MqttFront::names() const
{
    QStringList all;
    for (const auto &[name, served] : m_served) all.append(name);
    return all;
}

void MqttFront::addProjector(ProjectorHost &host)
{
    Served &served = m_served[host.config().name];
    served.host = &host;
    m_configTopics.reset();
    watch(served);
    publishDiscovery(host.config().name);
    publishState(host.config().name);
}

void MqttFront::replaceProjector(ProjectorHost &host)
{
    const auto it = m_served.find(host.config().name);
    if (it == m_served.end()) return addProjector(host);
    disconnect(it->second.host, nullptr, this, nullptr);
    it->second.host = &host;
    it->second.waiting = 0;
    watch(it->second);
    publishState(it->first);
    runNext(it->first);
}

void MqttFront::removeProjector(const QString &name)
{
    const auto it = m_served.find(name);
    if (it == m_served.end()) return;
    disconnect(it->second.host, nullptr, this, nullptr);
    for (const SetJob &job : it->second.jobs)
        answer(name, job.transaction,
               it->second.host->refusalText(ProjectorHost::Refusal::Stopping));
    m_served.erase(it);
    m_configTopics.reset();
    if (!m_client->isConnected()) return; // the next start finds its discovery stale
    if (!m_discovery.prefix.isEmpty())
        for (const RetainedMessage &m : Discovery::projectorRemoval(m_discovery, name))
            publish(m.topic, m.payload, true);
    publish(FrontTopics::state(m_config.topic, name), {}, true);
}

void MqttFront::watch(Served &served)
{
    ProjectorHost *host = served.host;
    const QString name = host->config().name;
    const auto changed = [this, name] { publishState(name); };
    connect(host, &ProjectorHost::stateChanged, this, changed);
    connect(host, &ProjectorHost::onlineChanged, this, changed);
    connect(host, &ProjectorHost::mutesChanged, this, changed);
    connect(host, &ProjectorHost::finished, this, [this, name](const HostResult &result) {
        const auto it = m_served.find(name);
        if (it == m_served.end() || result.id != it->second.waiting) return;
        Served &s = it->second;
        s.waiting = 0;
        const ProjectorHost::Refusal refusal = s.host->refusalOf(result);
        if (refusal == ProjectorHost::Refusal::None) {
            ++s.jobs.front().next;
        } else {
            answer(name, s.jobs.front().transaction, s.host->refusalText(refusal, result.failure));
            s.jobs.pop_front();
        }
        runNext(name);
    });
}

void MqttFront::onConnected()
{
    publish(FrontTopics::status(m_config.topic), FrontTopics::Online, true);
    publishAll();
}

void MqttFront::publishAll()
{
    if (!m_discovery.prefix.isEmpty())
        for (const RetainedMessage &m : Discovery::hostConfigs(m_discovery))
            publish(m.topic, m.payload, true);
    for (const QString &name : names()) {
        publishDiscovery(name);
        publishState(name, true);
    }
}

void MqttFront::onReceived(const QString &topic, const QByteArray &payload, bool retained)
{
    if (const std::optional<QString> name = FrontTopics::setTarget(m_config.topic, topic))
        return onSet(*name, payload, retained);
    if (m_discovery.prefix.isEmpty()) return;
    // Home Assistant started again, and may have lost what it knew.
    if (FrontTopics::isDiscoveryBirth(m_discovery.prefix, topic, payload)) return publishAll();
    if (!retained) return;
    // A connection brings every configuration left on the broker: the set is made once.
    if (!m_configTopics) m_configTopics = Discovery::configTopics(m_discovery, names());
    if (Discovery::isStale(m_discovery, *m_configTopics, topic, payload)) publish(topic, {}, true);
}

void MqttFront::onSet(const QString &name, const QByteArray &payload, bool retained)
{
    const SetRequest request = parseSet(payload, retained);
    const auto it = m_served.find(name);
    if (!request.isValid()) return answer(name, request.transaction, request.error);
    if (it == m_served.end())
        return answer(name, request.transaction,
                      QStringLiteral("no projector is called \"%1\" here").arg(name));
    if (it->second.jobs.size() >= MaxSetsWaiting)
        return answer(name, request.transaction,
                      QStringLiteral("too many set messages wait for this projector already"));
    it->second.jobs.push_back({request.codes, 0, request.transaction});
    runNext(name);
}

// The codes of one message go one after the other: each waits for the one before to be done.
void MqttFront::runNext(const QString &name)
{
    const auto it = m_served.find(name);
    if (it == m_served.end()) return;
    Served &s = it->second;
    while (s.waiting == 0 && !s.jobs.empty()) {
        SetJob &job = s.jobs.front();
        if (job.next >= job.codes.size()) {
            answer(name, job.transaction);
            s.jobs.pop_front();
            continue;
        }
        ProjectorHost::Refusal refusal = ProjectorHost::Refusal::None;
        s.waiting = s.host->request(Client, Client, job.codes.at(job.next), &refusal);
        if (s.waiting != 0) return;
        const LinkFailure failure = refusal == ProjectorHost::Refusal::WriteFailed
                                        ? s.host->link().failure()
                                        : LinkFailure{};
        answer(name, job.transaction, s.host->refusalText(refusal, failure));
        s.jobs.pop_front();
    }
}

void MqttFront::answer(const QString &name, const QJsonValue &transaction, const QString &error)
{
    publish(FrontTopics::response(m_config.topic, name),
            responseJson(transaction, error.isEmpty(), error), false);
}

void MqttFront::publishState(const QString &name, bool always)
{
    const auto it = m_served.find(name);
    if (it == m_served.end()) return;
    Served &s = it->second;
    if (always) s.changes.forget();
    const std::optional<QByteArray> payload = s.changes.take(stateInputOf(*s.host));
    if (!payload) return;
    // Not on the broker: the next connection publishes it whole.
    if (publish(FrontTopics::state(m_config.topic, name), *payload, true) == 0) s.changes.forget();
}

void MqttFront::publishDiscovery(const QString &name)
{
    if (m_discovery.prefix.isEmpty() || !m_client->isConnected()) return;
    for (const RetainedMessage &m : Discovery::projectorConfigs(m_discovery, name))
        publish(m.topic, m.payload, true);
}

int MqttFront::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    if (!m_client->isConnected()) return 0;
    return m_client->publish({topic, payload, Qos, retain});
}
