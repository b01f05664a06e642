// SPDX-License-Identifier: MIT
#include "Projectors.h"

#include "BusFront.h"
#include "DeviceLink.h"
#include "MqttClient.h"
#include "MqttFront.h"
#include "PjlinkServer.h"
#include "ProjectorHost.h"

#include <algorithm>
#include <utility>

struct Projectors::Served
{
    std::unique_ptr<ProjectorHost> host;
    std::unique_ptr<PjlinkServer> pjlink;
};

Projectors::Projectors(BusFront &front, Log log, QObject *parent)
    : QObject(parent), m_front(front), m_log(std::move(log))
{
}

Projectors::~Projectors() = default;

Projectors::Served *Projectors::find(const QString &name)
{
    for (const auto &s : m_served)
        if (s->host->config().name == name) return s.get();
    return nullptr;
}

std::unique_ptr<ProjectorHost> Projectors::makeHost(const ProjectorConfig &config)
{
    return std::make_unique<ProjectorHost>(
        config, std::make_unique<DeviceLink>(config.device, QString(), PreciseTimer::factory()),
        PreciseTimer::factory());
}

bool Projectors::add(const ProjectorConfig &config, QString *why)
{
    auto served = std::make_unique<Served>();
    served->host = makeHost(config);
    if (!m_front.addProjector(*served->host, why)) return false;
    if (m_mqtt) m_mqtt->addProjector(*served->host);
    m_served.push_back(std::move(served));
    return true;
}

bool Projectors::load(const ServiceConfig &config, QString *why)
{
    m_mqttConfig = config.mqtt;
    for (const ProjectorConfig &c : config.projectors)
        if (!add(c, why)) return false;
    m_front.setProjectors(config.projectors);
    return true;
}

bool Projectors::start(QString *why)
{
    m_started = true;
    for (const auto &s : m_served)
        if (!listenPjlink(*s, why)) return false;
    // Each line is logged from its first change on.
    for (const auto &s : m_served) open(*s);
    startMqtt();
    return true;
}

void Projectors::startMqtt()
{
    if (!m_mqttConfig) return;
    m_mqtt = std::make_unique<MqttFront>(*m_mqttConfig, PreciseTimer::factory());
    connect(m_mqtt.get(), &MqttFront::message, this, m_log);
    for (const auto &s : m_served) m_mqtt->addProjector(*s->host);
    m_mqtt->start();
}

void Projectors::open(Served &served)
{
    watchLine(*served.host);
    served.host->start();
}

bool Projectors::listenPjlink(Served &served, QString *why)
{
    ProjectorHost &host = *served.host;
    const PjlinkConfig &c = host.config().pjlink;
    if (!c.isEnabled()) return true;
    served.pjlink = std::make_unique<PjlinkServer>(host, PreciseTimer::factory());
    const QString name = host.config().name;
    connect(served.pjlink.get(), &PjlinkServer::message, this,
            [this, name](const QString &line) { m_log(line, name); });
    if (!served.pjlink->listen(why)) {
        served.pjlink.reset();
        return false;
    }
    m_log(QStringLiteral("%1: PJLink on %2 port %3%4")
              .arg(name, c.address)
              .arg(c.port)
              .arg(c.password.isEmpty() ? QStringLiteral(", no password")
                                        : QStringLiteral(", with a password")),
          name);
    return true;
}

// One line each time a projector's line opens or closes, and each new reason it is closed.
void Projectors::watchLine(ProjectorHost &host)
{
    connect(&host, &ProjectorHost::onlineChanged, this, [this, &host](bool online) {
        const ProjectorConfig &c = host.config();
        const LinkFailure &f = host.offlineFailure();
        if (online)
            m_log(QStringLiteral("%1: online on %2").arg(c.name, c.device), c.name);
        else if (f.isFailure())
            m_log(
                QStringLiteral("%1: offline: %2").arg(c.name, f.text(LinkFailure::Reader::Service)),
                c.name);
        else
            m_log(QStringLiteral("%1: offline").arg(c.name), c.name);
        // Every projector after it fails the same way: the admin needs the limit, once.
        static bool toldOfLimit = false;
        if (!online && f.cause == LinkFailure::Cause::TooManyFiles &&
            !std::exchange(toldOfLimit, true))
            m_log(QStringLiteral("out of file descriptors%1: raise LimitNOFILE= in the unit "
                                 "(systemctl edit projectord), then restart")
                      .arg(f.count > 0 ? QStringLiteral(" at the limit of %1").arg(f.count)
                                       : QString()),
                  {});
    });
}

ReloadPlan Projectors::reload(const ServiceConfig &config)
{
    const QList<ProjectorConfig> &configs = config.projectors;
    // A changed [mqtt] section connects anew, with the projectors as they will be.
    const bool newBroker = config.mqtt != m_mqttConfig;
    if (newBroker && m_mqtt) {
        m_log(config.mqtt ? QStringLiteral("MQTT: the section [mqtt] changed: connecting again")
                          : QStringLiteral("MQTT: the section [mqtt] is gone: leaving the broker"),
              {});
        m_mqtt->stop(std::chrono::milliseconds(0));
        m_mqtt.reset();
    }
    m_mqttConfig = config.mqtt;
    QList<ProjectorConfig> running;
    for (const auto &s : m_served) running.append(s->host->config());
    const ReloadPlan plan = ReloadPlan::between(running, configs);

    // The ports of every PJLink server that changes are free before any listens again.
    for (const QString &name : plan.removed) find(name)->pjlink.reset();
    for (const ProjectorConfig &c : plan.restarted) find(c.name)->pjlink.reset();
    for (const ProjectorConfig &c : plan.pjlink) find(c.name)->pjlink.reset();

    for (const QString &name : plan.removed) {
        Served *s = find(name);
        // Its own words: not "offline", which a line that fails would say.
        disconnect(s->host.get(), &ProjectorHost::onlineChanged, this, nullptr);
        m_log(QStringLiteral("%1: removed from the configuration").arg(name), name);
        s->host->retire(ProjectorHost::Ending::Removed);
        m_front.removeProjector(name);
        if (m_mqtt) m_mqtt->removeProjector(name);
        m_served.erase(std::find_if(m_served.begin(), m_served.end(),
                                    [s](const auto &p) { return p.get() == s; }));
    }
    for (const ProjectorConfig &c : plan.restarted) {
        Served *s = find(c.name);
        disconnect(s->host.get(), &ProjectorHost::onlineChanged, this, nullptr);
        m_log(QStringLiteral("%1: its line's settings changed: opening it again").arg(c.name),
              c.name);
        s->host->retire(ProjectorHost::Ending::Reconfigured);
        std::unique_ptr<ProjectorHost> old = std::exchange(s->host, makeHost(c));
        m_front.replaceProjector(*s->host);
        if (m_mqtt) m_mqtt->replaceProjector(*s->host);
    }
    for (const ProjectorConfig &c : plan.pjlink) find(c.name)->host->setPjlink(c.pjlink);
    for (const ProjectorConfig &c : plan.added) {
        QString why;
        m_log(add(c, &why) ? QStringLiteral("%1: added").arg(c.name)
                           : QStringLiteral("%1: not added: %2").arg(c.name, why),
              c.name);
    }

    // A port another program holds is no mistake in the file: that projector serves without
    // PJLink until the next reload or restart.
    const auto listenAgain = [this](const QString &name) {
        QString why;
        if (!listenPjlink(*find(name), &why))
            m_log(QStringLiteral("%1: no PJLink: %2").arg(name, why), name);
    };
    for (const ProjectorConfig &c : plan.restarted) listenAgain(c.name);
    for (const ProjectorConfig &c : plan.pjlink) listenAgain(c.name);
    for (const ProjectorConfig &c : plan.added)
        if (find(c.name)) listenAgain(c.name);

    for (const ProjectorConfig &c : plan.restarted) open(*find(c.name));
    for (const ProjectorConfig &c : plan.added)
        if (Served *s = find(c.name)) open(*s);

    // The configuration's order, for the manager's list and for the next reload.
    std::vector<std::unique_ptr<Served>> ordered;
    QList<ProjectorConfig> listed;
    for (const ProjectorConfig &c : configs) {
        const auto it = std::find_if(m_served.begin(), m_served.end(), [&](const auto &s) {
            return s->host->config().name == c.name;
        });
        if (it == m_served.end()) continue;
        listed.append((*it)->host->config());
        ordered.push_back(std::move(*it));
        m_served.erase(it);
    }
    m_served = std::move(ordered);
    m_front.setProjectors(listed);
    if (newBroker) startMqtt();
    return plan;
}

void Projectors::stop()
{
    // The broker hears "offline" while the lines are still there to say so truly.
    if (m_mqtt) m_mqtt->stop(MqttClient::StopPatience);
    for (const auto &s : m_served) s->pjlink.reset();
    // Every caller still waiting hears why, then each line goes back with the settings it had
    // before, out of exclusive mode.
    for (const auto &s : m_served) s->host->shutDown();
    // A stop is no projector going offline, neither in the journal nor on the bus: the clients
    // see the service leave, and wait for it.
    for (const auto &s : m_served)
        disconnect(s->host.get(), &ProjectorHost::onlineChanged, nullptr, nullptr);
    for (const auto &s : m_served) s->host->link().close();
}
