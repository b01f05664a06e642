// SPDX-License-Identifier: MIT
#pragma once

#include "ReloadPlan.h"
#include "ServiceConfig.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BusFront;
class MqttFront;
class PjlinkServer;
class ProjectorHost;

// The projectors projectord serves, each a host with its object on the bus and, where
// configured, its PJLink server; and the MQTT front, where configured, over all of them. A
// reload changes them one by one: what it leaves alone keeps its line, its clients, its sockets,
// its queue and its state, and the broker's connection is kept unless [mqtt] changed.
class Projectors final : public QObject
{
    Q_OBJECT
public:
    // One line for the journal, about the projector named (or none).
    using Log = std::function<void(const QString &line, const QString &projector)>;

    Projectors(BusFront &front, Log log, QObject *parent = nullptr);
    ~Projectors() override;

    // A host for each projector, on the bus; false, with the reason in `why`, when one cannot
    // be put there.
    bool load(const ServiceConfig &config, QString *why);
    // Once the bus name is ours: opens the PJLink ports, then every line, then connects to the
    // MQTT broker. False, with the reason in `why`, when a PJLink port cannot be listened on.
    bool start(QString *why);
    bool isStarted() const { return m_started; }
    qsizetype count() const { return qsizetype(m_served.size()); }

    // Applies a new reading of the configuration: removed and changed projectors end first,
    // so that a device or a PJLink port can pass from one projector to another.
    ReloadPlan reload(const ServiceConfig &config);

    // The service stops: every waiting command ends, each line goes back as it was.
    void stop();

private:
    struct Served;
    Served *find(const QString &name);
    std::unique_ptr<ProjectorHost> makeHost(const ProjectorConfig &config);
    // A host for `config`, on the bus and the broker; false, with the reason in `why`, when the
    // bus will not take its object.
    bool add(const ProjectorConfig &config, QString *why);
    bool listenPjlink(Served &served, QString *why);
    void watchLine(ProjectorHost &host);
    void open(Served &served);
    void startMqtt();

    BusFront &m_front;
    Log m_log;
    std::vector<std::unique_ptr<Served>> m_served; // in the configuration's order
    std::optional<MqttConfig> m_mqttConfig;
    std::unique_ptr<MqttFront> m_mqtt; // from start() on, with an [mqtt] section
    bool m_started = false;
};
