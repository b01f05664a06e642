// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class MqttWorker;
class Reconnection;

// A connection to an MQTT broker that never holds up the event loop: the library's connect
// (name lookup, TCP, TLS) and its network loop run on a thread of its own, and what happens
// there reaches this object's thread as queued calls. It reconnects by itself (Reconnection)
// and says in the journal once that the broker is reached and once that it is lost, never
// with the password.
//
// Nothing waits while the broker is away: publish() refuses then, and so does it while
// MaxUnacknowledged messages are still unsent or unacknowledged. The caller publishes its
// state again on connected(); subscriptions are made again by this object.
class MqttClient : public QObject
{
    Q_OBJECT
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
        int qos = 0; // 0, 1 or 2
        bool retain = false;
    };

    struct Options
    {
        bool tls = false; // mqtts: the broker's certificate and name are always verified
        QString host;
        quint16 port = 1883;
        QString username;                   // empty: none
        QByteArray password;                // only with a username
        QString caFile;                     // with tls; empty: the system's CAs, SystemCaPath
        QString clientId;                   // empty: one the library makes up
        std::chrono::seconds keepAlive{30}; // 5 to 65535: a silent broker is left after 1.5 times
        std::optional<Message> will;        // what the broker publishes when the link breaks
    };

    static constexpr const char *SystemCaPath = "/etc/ssl/certs";
    static constexpr int MaxUnacknowledged = 1000;
    // What stop() waits at most for the thread, which a dead broker may hold in connect.
    static constexpr std::chrono::milliseconds StopPatience{2000};

    MqttClient(Options options, TimerFactory timers, QObject *parent = nullptr);
    ~MqttClient() override; // stop()

    // The broker as people read it, without user or password: "mqtts://host:8883".
    QString brokerUrl() const;
    bool isConnected() const { return m_connected; }

    void start(); // the first attempt at once, then on its own until stop()
    // Publishes `last` if connected, leaves the broker cleanly (no will), and ends the thread.
    // Returns within `patience`; a thread not done by then finishes on its own.
    void stop(const std::optional<Message> &last = std::nullopt,
              std::chrono::milliseconds patience = StopPatience);

    // The message's id, or 0 when refused: not connected, too many waiting, or a topic or QoS
    // the library refuses.
    int publish(const Message &message);
    // Kept: made at once if connected, and again on every connect.
    void subscribe(const QString &filter, int qos);

Q_SIGNALS:
    void connected();
    void disconnected(const QString &reason); // on every failed attempt and every loss
    void received(const QString &topic, const QByteArray &payload, bool retained);
    void published(int id);            // QoS 0: sent; QoS 1 and 2: acknowledged
    void message(const QString &line); // for the journal, in English

private:
    friend class MqttWorker;
    void attempt();
    void onConnected();
    void onEnded(const QString &reason, bool wasConnected);
    void onReceived(const QString &topic, const QByteArray &payload, bool retained);
    void onPublished(int id);
    bool send(const Message &message, int *id);

    Options m_options;
    Reconnection *m_reconnection;
    std::shared_ptr<MqttWorker> m_worker; // while started
    quint64 m_generation = 0;             // of starts and stops: which worker's news still counts
    QHash<QString, int> m_subscriptions;  // filter: QoS
    bool m_connected = false;
    bool m_outageSaid = false; // the journal has the current outage
    int m_unacknowledged = 0;
};
