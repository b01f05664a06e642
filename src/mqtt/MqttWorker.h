// SPDX-License-Identifier: MIT
#pragma once

#include "MqttClient.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

// MqttClient's network side: a thread that alone connects and runs the library's loop, one
// connection attempt at a time when the client asks for one. Each attempt starts from a new
// library handle, so nothing left queued by a lost connection survives into the next. The
// client publishes on the handle from its own thread, which the library allows once told of
// threads, and only between the attempt's connected and ended events.
//
// Shared with its thread, which may outlive the client by as long as a dead broker holds it in
// connect: the client then lets it go and hears no more from it.
class MqttWorker
{
public:
    static std::shared_ptr<MqttWorker> launch(const MqttClient::Options &options,
                                              MqttClient *owner);
    ~MqttWorker();

    void requestAttempt();
    // Ends the thread: waits for it up to `patience`, or lets it go on alone.
    void stop(std::chrono::milliseconds patience);

    mosquitto *handle() const { return m_mosq; } // for the client, between connected and ended
    // Counted by the client as it publishes, before the library may acknowledge it.
    std::atomic<int> m_unacknowledged{0};

private:
    explicit MqttWorker(const MqttClient::Options &options, MqttClient *owner);
    void run();
    void attempt();
    mosquitto *makeHandle(QString *why);
    bool stopWanted();
    template <typename F> void post(F call);

    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void onPublish(mosquitto *, void *self, int id);

    const MqttClient::Options m_options;
    const quint64 m_generation; // the client's start that made it
    std::thread m_thread;

    std::mutex m_mutex; // the requests and the thread's end
    std::condition_variable m_wake;
    bool m_attemptWanted = false;
    bool m_stopWanted = false;
    bool m_done = false;

    std::mutex m_ownerMutex; // posts race the client's end
    MqttClient *m_owner;

    // The thread's own, but for handle() as above.
    mosquitto *m_mosq = nullptr;
    QString m_reason;
    bool m_wasConnected = false;
};
