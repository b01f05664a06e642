// SPDX-License-Identifier: MIT
#pragma once

#include "NetAddress.h"
#include "NetLink.h"

#include <QObject>

class QTcpSocket;
class TelnetCodec;

// A serial device server on the network: socket://HOST:PORT is raw TCP, where the bytes pass
// as they are and the server's own line settings apply; rfc2217://HOST:PORT is Telnet with the
// COM-PORT-OPTION, which sets the line at connect and at every change of the settings. The
// plug-in's side of NetConnection.
class NetSocket final : public QObject, public NetLink
{
    Q_OBJECT
public:
    NetSocket(const QString &device, Events &events);
    ~NetSocket() override;

    [[nodiscard]] bool open(const LineSettings &settings) override;
    bool isConnecting() const override { return m_connecting; }
    void close() override;
    bool isOpen() const override;
    [[nodiscard]] bool applySettings(const LineSettings &settings) override;
    [[nodiscard]] bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    const LinkFailure &failure() const override { return m_failure; }
    void setConnectTimeout(std::chrono::milliseconds timeout) override
    {
        m_connectTimeout = timeout;
    }
    void onDeadline() override;

private:
    bool fail(LinkFailure failure);
    bool fail(LinkFailure::Action action, LinkFailure::Cause cause, const QString &detail = {})
    {
        return fail(LinkFailure{action, cause, 0, {}, detail});
    }
    void onConnected();
    void onReadyRead();
    void onSocketError();
    void onDisconnected();
    void finishConnecting(LinkFailure::Cause cause, int socketError = -1);
    bool take(const QByteArray &wire);
    void sendControl(const QByteArray &bytes);
    void dropped(int socketError);
    void lose(int socketError);
    void teardown();
    template <typename F> void later(F &&f);

    const QString m_device;
    Events &m_events;
    NetAddress m_address;
    LineSettings m_settings;
    LinkFailure m_failure;
    std::chrono::milliseconds m_connectTimeout = ConnectTimeout;
    QTcpSocket *m_socket = nullptr;
    std::unique_ptr<TelnetCodec> m_codec;
    QByteArray m_unread;
    bool m_connecting = false;
    bool m_tcpConnected = false; // while connecting: the server took the TCP connection
    bool m_proving = false;      // while connecting: agreed, waiting ProveTime for a hang-up
    bool m_open = false;
    bool m_dropped = false;      // the socket is gone; lost() is on its way
    bool m_resumePosted = false; // a read held back at MaxUnread is to go on
    unsigned m_generation = 0;   // one per socket, so that late calls for an old one do nothing
};
