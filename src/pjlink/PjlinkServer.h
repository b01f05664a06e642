// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"
#include "PjlinkProtocol.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

class ProjectorHost;
struct HostResult;

// One projector's PJLink server: a front that only translates. Each connection's commands go
// through the projector's one exchange like any client's, under the name "pjlink ADDRESS:PORT",
// so that traces and traffic logs name the PJLink client. It keeps nothing of its own but each
// connection's session and the mutes (AVMT), which the projector cannot be asked for: the last
// mute codes sent through the service, by any client.
class PjlinkServer final : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxConnections = 8; // past them a connection is closed at once
    // Answers a client has not read; past it the client is dropped.
    static constexpr qint64 MaxUnsent = 4096;

    // Serves `host` as its configuration's pjlink section says; timers for the idle close.
    PjlinkServer(ProjectorHost &host, TimerFactory timers, QObject *parent = nullptr);
    ~PjlinkServer() override;

    // False, with the reason in `why`, when the address cannot be listened on.
    bool listen(QString *why);
    quint16 port() const { return m_server.serverPort(); }
    int connectionCount() const { return int(m_clients.size()); }
    pjlink::Mute mute() const { return m_mute; }

Q_SIGNALS:
    // A line for the journal: a connection refused or dropped.
    void message(const QString &line);

private:
    class Client;
    void accept();
    void pump(Client *c);
    void start(Client *c, const pjlink::Mapping &m);
    void sendCode(Client *c);
    void finish(Client *c, const QByteArray &answer);
    void onFinished(const HostResult &result);
    bool write(Client *c, const QByteArray &bytes);
    void drop(Client *c, const QString &why = {});
    pjlink::Facts facts() const;

    ProjectorHost &m_host;
    TimerFactory m_timers;
    QTcpServer m_server;
    QList<Client *> m_clients;
    pjlink::Identity m_identity;
    pjlink::Mute m_mute;
};
