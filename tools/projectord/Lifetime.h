// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

// How projectord ends: the signals it takes, and the one way it stops whatever the cause, with
// every waiting command ended and every line and PJLink port closed.
class Lifetime final : public QObject
{
    Q_OBJECT
public:
    using Log = std::function<void(const QString &)>;

    explicit Lifetime(Log log, QObject *parent = nullptr);
    ~Lifetime() override;

    // Takes SIGINT and SIGTERM (a stop with status 0) and SIGHUP (logged and ignored) from now
    // on. False when it cannot: they keep their default then.
    bool catchSignals();
    // What stop() does before the event loop ends.
    void onStop(std::function<void()> close) { m_close = std::move(close); }
    // Once stop() was called: the lines' closing is no news then.
    bool isStopping() const { return m_stopping; }
    // Logs `why` as one line, runs what onStop() gave and leaves the event loop with `status`.
    // Only the first call counts.
    void stop(int status, const QString &why);

private:
    void onSignal();

    Log m_log;
    std::function<void()> m_close;
    bool m_stopping = false;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};
