// SPDX-License-Identifier: MIT
#include "MqttClient.h"

#include "MqttWorker.h"
#include "Reconnection.h"

#include <QRandomGenerator>

#include <mosquitto.h>

MqttClient::MqttClient(Options options, TimerFactory timers, QObject *parent)
    : QObject(parent), m_options(std::move(options)),
      m_reconnection(
          new Reconnection(std::move(timers), QRandomGenerator::system()->generate(), this))
{
    connect(m_reconnection, &Reconnection::attempt, this, &MqttClient::attempt);
}

MqttClient::~MqttClient()
{
    stop();
}

QString MqttClient::brokerUrl() const
{
    const QString host =
        m_options.host.contains(u':') ? u'[' + m_options.host + u']' : m_options.host;
    return QStringLiteral("%1://%2:%3")
        .arg(QLatin1String(m_options.tls ? "mqtts" : "mqtt"), host)
        .arg(m_options.port);
}

void MqttClient::start()
{
    if (m_worker) return;
    m_outageSaid = false;
    ++m_generation;
    m_worker = MqttWorker::launch(m_options, this);
    m_reconnection->start();
}

void MqttClient::stop(const std::optional<Message> &last, std::chrono::milliseconds patience)
{
    if (!m_worker) return;
    m_reconnection->stop();
    if (last && m_connected) send(*last, nullptr);
    m_connected = false;
    m_unacknowledged = 0;
    ++m_generation;
    std::exchange(m_worker, nullptr)->stop(patience);
}

void MqttClient::attempt()
{
    if (m_worker) m_worker->requestAttempt();
}

bool MqttClient::send(const Message &message, int *id)
{
    const QByteArray topic = message.topic.toUtf8();
    int mid = 0;
    ++m_worker->m_unacknowledged;
    const int rc =
        mosquitto_publish(m_worker->handle(), &mid, topic.constData(), int(message.payload.size()),
                          message.payload.constData(), message.qos, message.retain);
    if (rc != MOSQ_ERR_SUCCESS) --m_worker->m_unacknowledged;
    if (id) *id = mid;
    return rc == MOSQ_ERR_SUCCESS;
}

int MqttClient::publish(const Message &message)
{
    if (!m_connected || m_unacknowledged >= MaxUnacknowledged) return 0;
    int id = 0;
    if (!send(message, &id)) return 0;
    ++m_unacknowledged;
    return id;
}

void MqttClient::subscribe(const QString &filter, int qos)
{
    m_subscriptions.insert(filter, qos);
    if (m_connected)
        mosquitto_subscribe(m_worker->handle(), nullptr, filter.toUtf8().constData(), qos);
}

void MqttClient::onConnected()
{
    m_connected = true;
    m_unacknowledged = 0;
    m_outageSaid = false;
    m_reconnection->succeeded();
    for (auto it = m_subscriptions.cbegin(); it != m_subscriptions.cend(); ++it)
        mosquitto_subscribe(m_worker->handle(), nullptr, it.key().toUtf8().constData(), it.value());
    const QString as = m_options.username.isEmpty() ? m_options.clientId : m_options.username;
    Q_EMIT message(as.isEmpty()
                       ? QStringLiteral("MQTT: connected to %1").arg(brokerUrl())
                       : QStringLiteral("MQTT: connected to %1 as %2").arg(brokerUrl(), as));
    Q_EMIT connected();
}

void MqttClient::onEnded(const QString &reason, bool wasConnected)
{
    m_connected = false;
    m_unacknowledged = 0;
    if (wasConnected)
        Q_EMIT message(
            QStringLiteral("MQTT: lost the broker %1: %2; trying again").arg(brokerUrl(), reason));
    else if (!m_outageSaid)
        Q_EMIT message(QStringLiteral("MQTT: no connection to the broker %1: %2; trying again")
                           .arg(brokerUrl(), reason));
    m_outageSaid = true;
    m_reconnection->failed();
    Q_EMIT disconnected(reason);
}

void MqttClient::onReceived(const QString &topic, const QByteArray &payload, bool retained)
{
    Q_EMIT received(topic, payload, retained);
}

void MqttClient::onPublished(int id)
{
    if (m_unacknowledged > 0) --m_unacknowledged;
    Q_EMIT published(id);
}
