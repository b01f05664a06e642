// SPDX-License-Identifier: MIT
#include "MqttWorker.h"

#include <QFile>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mosquitto.h>
#include <netdb.h>
#include <optional>
#include <utility>

namespace {

// How long the loop waits on the socket before it looks whether the client wants it to end.
constexpr int LoopPatience = 250; // ms
constexpr std::chrono::milliseconds LeavingPatience{1000};

std::atomic<int> liveThreads{0};

// Once per process, and undone at its exit unless a thread let go is still inside the library.
void initialiseLibrary()
{
    static const bool done = [] {
        mosquitto_lib_init();
        std::atexit([] {
            if (liveThreads.load() == 0) mosquitto_lib_cleanup();
        });
        return true;
    }();
    (void)done;
}

// The library's words for a failure, with the system's where it has them, as a clause.
QString words(int rc, int error)
{
    QString text;
    if (rc == MOSQ_ERR_ERRNO) {
        char buffer[256];
        text = QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
    } else if (rc == MOSQ_ERR_EAI) {
        text = QString::fromLocal8Bit(gai_strerror(error));
    } else if (rc == MOSQ_ERR_KEEPALIVE) {
        text = QStringLiteral("no answer within the keepalive");
    } else {
        text = QString::fromUtf8(mosquitto_strerror(rc));
    }
    if (text.endsWith(u'.')) text.chop(1);
    if (!text.isEmpty()) text[0] = text[0].toLower();
    return text;
}

} // namespace

std::shared_ptr<MqttWorker> MqttWorker::launch(const MqttClient::Options &options,
                                               MqttClient *owner)
{
    initialiseLibrary();
    std::shared_ptr<MqttWorker> worker(new MqttWorker(options, owner));
    ++liveThreads;
    worker->m_thread = std::thread([worker]() mutable {
        worker->run();
        worker.reset();
        --liveThreads;
    });
    return worker;
}

MqttWorker::MqttWorker(const MqttClient::Options &options, MqttClient *owner)
    : m_options(options), m_generation(owner->m_generation), m_owner(owner)
{
}

MqttWorker::~MqttWorker()
{
    if (m_mosq) mosquitto_destroy(m_mosq);
}

void MqttWorker::requestAttempt()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_attemptWanted = true;
    }
    m_wake.notify_all();
}

void MqttWorker::stop(std::chrono::milliseconds patience)
{
    {
        std::lock_guard<std::mutex> lock(m_ownerMutex);
        m_owner = nullptr;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopWanted = true;
    m_wake.notify_all();
    const bool done = m_wake.wait_for(lock, patience, [this] { return m_done; });
    lock.unlock();
    if (done)
        m_thread.join();
    else
        m_thread.detach();
}

bool MqttWorker::stopWanted()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopWanted;
}

template <typename F> void MqttWorker::post(F call)
{
    std::lock_guard<std::mutex> lock(m_ownerMutex);
    // What reaches the client after it stopped, or started again with another thread, is not
    // about its connection.
    if (m_owner)
        QMetaObject::invokeMethod(
            m_owner,
            [owner = m_owner, generation = m_generation, call = std::move(call)] {
                if (owner->m_generation == generation) call(owner);
            },
            Qt::QueuedConnection);
}

void MqttWorker::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopWanted || m_attemptWanted; });
        if (m_stopWanted) break;
        m_attemptWanted = false;
        lock.unlock();
        attempt();
        lock.lock();
    }
    if (m_mosq) mosquitto_destroy(std::exchange(m_mosq, nullptr));
    m_done = true;
    m_wake.notify_all();
}

mosquitto *MqttWorker::makeHandle(QString *why)
{
    const QByteArray id = m_options.clientId.toUtf8();
    mosquitto *m = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!m) {
        *why = words(MOSQ_ERR_ERRNO, errno);
        return nullptr;
    }
    mosquitto_threaded_set(m, true);
    mosquitto_connect_callback_set(m, &MqttWorker::onConnect);
    mosquitto_disconnect_callback_set(m, &MqttWorker::onDisconnect);
    mosquitto_message_callback_set(m, &MqttWorker::onMessage);
    mosquitto_publish_callback_set(m, &MqttWorker::onPublish);
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_options.username.isEmpty())
        rc = mosquitto_username_pw_set(
            m, m_options.username.toUtf8().constData(),
            m_options.password.isEmpty() ? nullptr : m_options.password.constData());
    if (rc == MOSQ_ERR_SUCCESS && m_options.will) {
        const MqttClient::Message &w = *m_options.will;
        rc = mosquitto_will_set(m, w.topic.toUtf8().constData(), int(w.payload.size()),
                                w.payload.constData(), w.qos, w.retain);
    }
    if (rc == MOSQ_ERR_SUCCESS && m_options.tls) {
        const QByteArray file = QFile::encodeName(m_options.caFile);
        rc = mosquitto_tls_set(m, file.isEmpty() ? nullptr : file.constData(),
                               file.isEmpty() ? MqttClient::SystemCaPath : nullptr, nullptr,
                               nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *why = QStringLiteral("cannot use the CA certificates in %1")
                       .arg(file.isEmpty() ? QLatin1String(MqttClient::SystemCaPath)
                                           : m_options.caFile);
            mosquitto_destroy(m);
            return nullptr;
        }
        // The broker's certificate is checked, and its name against it (not insecure).
        rc = mosquitto_tls_opts_set(m, 1, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *why = words(rc, errno);
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

void MqttWorker::attempt()
{
    QString why;
    mosquitto *m = makeHandle(&why);
    if (m_mosq) mosquitto_destroy(m_mosq);
    m_mosq = m;
    m_reason.clear();
    m_wasConnected = false;
    m_unacknowledged = 0;
    if (!m) return post([why](MqttClient *c) { c->onEnded(why, false); });

    // The name lookup blocks, hence this thread. TCP and TLS go on in the loop, so that the
    // keepalive bounds a broker that never finishes them.
    int rc =
        mosquitto_connect_async(m, m_options.host.toUtf8().constData(), m_options.port,
                                int(std::clamp<qint64>(m_options.keepAlive.count(), 5, 65535)));
    if (rc != MOSQ_ERR_SUCCESS) {
        const QString reason = words(rc, errno);
        return post([reason](MqttClient *c) { c->onEnded(reason, false); });
    }
    // Leaving, the disconnect waits until what the client published has gone out and been
    // acknowledged, for as long as a live broker takes: closed with an acknowledgement still
    // coming, the socket would be reset, the disconnect lost and the will published. An
    // unfinished connection is just dropped.
    std::optional<std::chrono::steady_clock::time_point> leaving;
    bool disconnecting = false;
    while ((rc = mosquitto_loop(m, LoopPatience, 1)) == MOSQ_ERR_SUCCESS) {
        if (!leaving && stopWanted()) {
            if (!m_wasConnected) return;
            leaving = std::chrono::steady_clock::now() + LeavingPatience;
        }
        if (!leaving) continue;
        if (std::chrono::steady_clock::now() > *leaving) return;
        if (!disconnecting && m_unacknowledged.load() == 0) {
            disconnecting = true;
            mosquitto_disconnect(m);
        }
    }
    if (leaving) return;
    const QString reason = !m_reason.isEmpty() ? m_reason : words(rc, errno);
    post([reason, was = m_wasConnected](MqttClient *c) { c->onEnded(reason, was); });
}

void MqttWorker::onConnect(mosquitto *, void *self, int rc)
{
    auto *w = static_cast<MqttWorker *>(self);
    if (rc != 0) {
        // "Connection Refused: not authorised." as a clause.
        w->m_reason = QString::fromUtf8(mosquitto_connack_string(rc)).toLower();
        if (w->m_reason.endsWith(u'.')) w->m_reason.chop(1);
        return;
    }
    w->m_wasConnected = true;
    w->post([](MqttClient *c) { c->onConnected(); });
}

void MqttWorker::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *w = static_cast<MqttWorker *>(self);
    if (rc != 0 && w->m_reason.isEmpty()) w->m_reason = words(rc, errno);
}

void MqttWorker::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    static_cast<MqttWorker *>(self)->post(
        [topic, payload, retained](MqttClient *c) { c->onReceived(topic, payload, retained); });
}

void MqttWorker::onPublish(mosquitto *, void *self, int id)
{
    --static_cast<MqttWorker *>(self)->m_unacknowledged;
    static_cast<MqttWorker *>(self)->post([id](MqttClient *c) { c->onPublished(id); });
}
