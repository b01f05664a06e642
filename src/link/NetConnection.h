// SPDX-License-Identifier: MIT
#pragma once

#include "Connection.h"
#include "IntervalTimer.h"
#include "NetAddress.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

class QTcpSocket;
class TelnetCodec;

// A serial device server on the network: socket://HOST:PORT is raw TCP, where the bytes pass
// as they are and the server's own line settings apply; rfc2217://HOST:PORT is Telnet with the
// COM-PORT-OPTION, which sets the line at connect and at every change of the settings.
class NetConnection final : public Connection
{
    Q_OBJECT
public:
    // From the start of a connect to a usable connection: the host looked up, TCP connected
    // and, over RFC 2217, the server's answer to the COM-PORT-OPTION.
    static constexpr std::chrono::milliseconds ConnectTimeout{3000};
    // Bytes the socket may hold unsent; write() refuses more (see there).
    static constexpr qint64 MaxUnsent = 64 * 1024;
    // Decoded bytes not yet taken by readAll(); past that the socket is not read, and TCP
    // makes the server wait.
    static constexpr qsizetype MaxUnread = 1024 * 1024;
    static constexpr std::chrono::milliseconds SettleTime{1000};
    // A device server whose serial device cannot be opened takes the connection and closes it
    // at once, often with a message; a connection that lasts this long is open.
    static constexpr std::chrono::milliseconds ProveTime{100};
    // How much of what such a server said goes into the failure.
    static constexpr qsizetype MaxFarewell = 120;

    explicit NetConnection(const QString &device, TimerFactory timers = PreciseTimer::factory(),
                           QObject *parent = nullptr);
    ~NetConnection() override;

    // Whether the name is one this class serves, well formed or not.
    static bool handles(const QString &device) { return NetAddress::handles(device); }

    [[nodiscard]] bool open(const LineSettings &settings) override;
    bool isConnecting() const override { return m_connecting; }
    void close() override;
    bool isOpen() const override;
    [[nodiscard]] bool applySettings(const LineSettings &settings) override;
    bool canSetLine() const override { return m_address.kind != NetAddress::Kind::Raw; }
    [[nodiscard]] bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    Backoff backoff() const override;
    std::chrono::milliseconds settleTime() const override { return SettleTime; }

    void setConnectTimeout(std::chrono::milliseconds timeout) { m_connectTimeout = timeout; }

private:
    void onConnected();
    void onReadyRead();
    void onSocketError();
    void onDisconnected();
    void onDeadline();
    void finishConnecting(LinkFailure::Cause cause, int socketError = -1);
    bool take(const QByteArray &wire);
    void sendControl(const QByteArray &bytes);
    void dropped(int socketError);
    void lose(int socketError);
    void teardown();
    template <typename F> void later(F &&f);

    NetAddress m_address;
    LineSettings m_settings;
    std::chrono::milliseconds m_connectTimeout = ConnectTimeout;
    std::unique_ptr<IntervalTimer> m_deadline;
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
