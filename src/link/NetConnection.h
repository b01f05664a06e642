// SPDX-License-Identifier: MIT
#pragma once

#include "Connection.h"
#include "IntervalTimer.h"
#include "NetAddress.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

class QEventLoop;
class QTcpSocket;
class TelnetCodec;

// A serial device server on the network: socket://HOST:PORT is raw TCP, where the bytes pass
// as they are and the server's own line settings apply; rfc2217://HOST:PORT is Telnet with the
// COM-PORT-OPTION, which sets the line at connect and at every change of the settings.
class NetConnection final : public Connection
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds ConnectTimeout{3000};
    // Bytes the socket may hold unsent; write() refuses more (see there).
    static constexpr qint64 MaxUnsent = 64 * 1024;
    // Decoded bytes not yet taken by readAll(); past that the socket is not read, and TCP
    // makes the server wait.
    static constexpr qsizetype MaxUnread = 1024 * 1024;

    explicit NetConnection(const QString &device, TimerFactory timers = PreciseTimer::factory(),
                           QObject *parent = nullptr);
    ~NetConnection() override;

    // Whether the name is one this class serves, well formed or not.
    static bool handles(const QString &device);

    [[nodiscard]] bool open(const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override;
    [[nodiscard]] bool applySettings(const LineSettings &settings) override;
    [[nodiscard]] bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    void watchForReturn() override;
    void stopWatching() override;

    void setConnectTimeout(std::chrono::milliseconds timeout) { m_connectTimeout = timeout; }

private:
    using Kind = NetAddress::Kind;

    void connectSocket();
    void finishConnecting(LinkFailure::Cause cause, int socketError = -1);
    void onConnected();
    void onReadyRead();
    void onSocketError();
    void onDisconnected();
    bool take(const QByteArray &wire);
    void sendControl(const QByteArray &bytes);
    void dropped(int socketError);
    void lose(int socketError);
    void teardown();

    NetAddress m_address;
    LineSettings m_settings;
    std::chrono::milliseconds m_connectTimeout = ConnectTimeout;
    QTcpSocket *m_socket = nullptr;
    std::unique_ptr<TelnetCodec> m_codec;
    QByteArray m_unread;
    bool m_open = false;
    bool m_dropped = false;      // the socket is gone; lost() is on its way
    bool m_resumePosted = false; // a read held back at MaxUnread is to go on
    unsigned m_generation = 0;   // one per socket, so that late calls for an old one do nothing

    // While open() waits: its loop, and how the attempt ended.
    QEventLoop *m_connecting = nullptr;
    LinkFailure::Cause m_attempt = LinkFailure::Cause::None;
    int m_attemptError = -1;
    bool m_attemptDone = false;

    std::unique_ptr<IntervalTimer> m_watch;
    int m_watches = 0; // since the last open that succeeded
};
