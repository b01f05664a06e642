// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <functional>

// How projectord ends and reloads: the signals it takes, and the one way it stops whatever the
// cause, with every waiting command ended and every line and PJLink port closed.
class Lifetime final : public QObject
{
    Q_OBJECT
public:
    using Log = std::function<void(const QString &)>;

    explicit Lifetime(Log log, QObject *parent = nullptr);

    // Takes SIGINT and SIGTERM (a stop with status 0) and SIGHUP (a reload) from now on. False
    // when it cannot: they keep their default then.
    bool catchSignals();
    // What a SIGHUP does; until it is given, SIGHUP is logged and ignored.
    void onReload(std::function<void()> reload) { m_reload = std::move(reload); }
    // What stop() does before the event loop ends.
    void onStop(std::function<void()> close) { m_close = std::move(close); }
    // Logs `why` as one line, runs what onStop() gave and leaves the event loop with `status`.
    // Only the first call counts.
    void stop(int status, const QString &why);

private:
    Log m_log;
    std::function<void()> m_close;
    std::function<void()> m_reload;
    bool m_stopping = false;
};
