// SPDX-License-Identifier: MIT
#pragma once

#include "AddressLimits.h"
#include "IntervalTimer.h"
#include "PjlinkProtocol.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <functional>

#include "ProjectorHost.h"

// One projector's PJLink server: a front that only translates. Each connection's commands go
// through the projector's one exchange like any client's, under the name "pjlink ADDRESS:PORT",
// so that traces and traffic logs name the PJLink client. It keeps nothing of its own but each
// connection's session; the mutes (AVMT), which the projector cannot be asked for, are the
// host's.
//
// A peer without the password must not keep others out nor guess it cheaply: a connection that
// has not logged in yields its slot to a new one and gets LoginTimeout to log in; past
// FreeFailures failed logins from an address, each further attempt from it is answered, right
// or wrong, no sooner than GuessDelay after it came. Lines about an address go to the journal
// at most once a second for each kind.
class PjlinkServer final : public QObject
{
    Q_OBJECT
public:
    // Past them a new connection takes the slot of the oldest that has not logged in, or is
    // closed at once when all have.
    static constexpr int MaxConnections = 8;
    // Answers a client has not read; past it the client is dropped.
    static constexpr qint64 MaxUnsent = 4096;
    static constexpr std::chrono::seconds LoginTimeout{5};
    static constexpr int FreeFailures = 3;
    static constexpr std::chrono::seconds GuessDelay{1};

    // A monotonic clock, for the tables of addresses: the timers' own.
    using Clock = std::function<std::chrono::milliseconds()>;

    // Serves `host` as its configuration's pjlink section says, on `timers` and `clock` (by
    // default the system's monotonic clock).
    PjlinkServer(ProjectorHost &host, TimerFactory timers, Clock clock = {},
                 QObject *parent = nullptr);
    ~PjlinkServer() override;

    // False, with the reason in `why`, when the address cannot be listened on.
    bool listen(QString *why);
    quint16 port() const { return m_server.serverPort(); }
    int connectionCount() const { return int(m_clients.size()); }

Q_SIGNALS:
    // A line for the journal: a connection refused or dropped, a login failed.
    void message(const QString &line);

private:
    class Client;
    void accept();
    void pump(Client *c);
    bool judged(Client *c, const std::optional<pjlink::Session::Step> &step);
    void take(Client *c, const pjlink::Session::Step &step);
    void onTimeout(Client *c);
    void arm(Client *c, std::chrono::milliseconds interval);
    void start(Client *c, const pjlink::Mapping &m);
    void sendCode(Client *c);
    void finish(Client *c, const QByteArray &answer);
    void onFinished(const HostResult &result);
    // The one place where the host's refusals and results become answers: a request refused,
    // or the result of one.
    void settle(Client *c, ProjectorHost::Refusal refusal, const HostResult &result = {});
    bool write(Client *c, const QByteArray &bytes);
    void drop(Client *c, const QString &why = {});
    void report(const QString &kind, const QString &address, const QString &line);
    pjlink::Facts facts() const;

    ProjectorHost &m_host;
    TimerFactory m_timers;
    Clock m_clock;
    LogRateLimit m_logLimit;
    LoginFailures m_failures;
    QTcpServer m_server;
    QList<Client *> m_clients;
    pjlink::Identity m_identity;
};
