// SPDX-License-Identifier: MIT
#pragma once

#include "Discovery.h"
#include "IntervalTimer.h"
#include "ServiceConfig.h"
#include "SetMessage.h"
#include "StateJson.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>

class MqttClient;
class ProjectorHost;

// The projectors on an MQTT broker: a front that only translates. Each projector's state goes to
// T/<name>/state, retained, when a value changes and only then; T/<name>/set takes commands, which
// go through the projector's one exchange like any client's, under the name "mqtt"; Home
// Assistant finds every projector by its discovery. The broker never holds anything up: the
// client runs on a thread of its own, and what it cannot take now is published again on the next
// connection, whole.
class MqttFront final : public QObject
{
    Q_OBJECT
public:
    // Set messages waiting for one projector, from all who publish; past it one is answered
    // with an error at once.
    static constexpr std::size_t MaxSetsWaiting = 8;
    static const QString Client; // "mqtt": the name the traffic shows

    MqttFront(const MqttConfig &config, TimerFactory timers, QObject *parent = nullptr);
    ~MqttFront() override;

    const MqttConfig &config() const { return m_config; }
    void start();
    // Says "offline" on T/status and leaves the broker, waiting for it up to `patience`: at the
    // service's stop, so that "offline" is out before the process ends; not on a reload, where
    // the old connection ends on its own thread while the lines go on.
    void stop(std::chrono::milliseconds patience);

    void addProjector(ProjectorHost &host);
    // The same name on a new host (a reload reopened its line): its topics stay.
    void replaceProjector(ProjectorHost &host);
    // Its discovery and its retained state are removed from the broker.
    void removeProjector(const QString &name);

Q_SIGNALS:
    // A line for the journal, about the projector named (or none).
    void message(const QString &line, const QString &projector);

private:
    struct SetJob
    {
        QStringList codes;
        int next = 0;
        QJsonValue transaction;
    };
    struct Served
    {
        ProjectorHost *host = nullptr;
        StateChanges changes;
        std::deque<SetJob> jobs; // the first one's code is on its way while `waiting` is set
        quint64 waiting = 0;
    };
    void watch(Served &served);
    void onConnected();
    void onReceived(const QString &topic, const QByteArray &payload, bool retained);
    void onSet(const QString &name, const QByteArray &payload, bool retained);
    void runNext(const QString &name);
    void answer(const QString &name, const QJsonValue &transaction, const QString &error = {});
    void publishState(const QString &name, bool always = false);
    void publishDiscovery(const QString &name);
    void publishAll();
    int publish(const QString &topic, const QByteArray &payload, bool retain); // 0: refused
    QStringList names() const;

    MqttConfig m_config;
    DiscoveryContext m_discovery;
    std::unique_ptr<MqttClient> m_client;
    std::map<QString, Served> m_served; // by name
    // The discovery topics of the projectors served, for telling a stale one; made when needed.
    std::optional<QSet<QString>> m_configTopics;
};
