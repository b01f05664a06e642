// SPDX-License-Identifier: MIT
#pragma once

#include "Connection.h"
#include "IntervalTimer.h"
#include "NetAddress.h"
#include "NetLink.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

// A serial device server on the network: socket://HOST:PORT is raw TCP, where the bytes pass
// as they are and the server's own line settings apply; rfc2217://HOST:PORT is Telnet with the
// COM-PORT-OPTION, which sets the line at connect and at every change of the settings. The
// socket side is the NetLink plug-in, loaded at the first open: a program that never opens a
// device server never loads it. Without the plug-in, opening fails with NoNetLink.
class NetConnection final : public Connection, private NetLink::Events
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds ConnectTimeout = NetLink::ConnectTimeout;
    static constexpr qint64 MaxUnsent = NetLink::MaxUnsent;
    static constexpr qsizetype MaxUnread = NetLink::MaxUnread;
    static constexpr std::chrono::milliseconds ProveTime = NetLink::ProveTime;
    static constexpr qsizetype MaxFarewell = NetLink::MaxFarewell;
    static constexpr std::chrono::milliseconds SettleTime{1000};

    explicit NetConnection(const QString &device, TimerFactory timers = PreciseTimer::factory(),
                           QObject *parent = nullptr);
    ~NetConnection() override;

    // Whether the name is one this class serves, well formed or not.
    static bool handles(const QString &device) { return NetAddress::handles(device); }

    [[nodiscard]] bool open(const LineSettings &settings) override;
    bool isConnecting() const override { return m_link && m_link->isConnecting(); }
    void close() override;
    bool isOpen() const override { return m_link && m_link->isOpen(); }
    [[nodiscard]] bool applySettings(const LineSettings &settings) override;
    bool canSetLine() const override { return m_address.kind != NetAddress::Kind::Raw; }
    [[nodiscard]] bool write(const QByteArray &bytes) override;
    QByteArray readAll() override { return m_link ? m_link->readAll() : QByteArray(); }
    Backoff backoff() const override;
    std::chrono::milliseconds settleTime() const override { return SettleTime; }

    void setConnectTimeout(std::chrono::milliseconds timeout);

private:
    bool load();
    void onConnected() override;
    void onConnectFailed(const LinkFailure &failure) override;
    void onLost(const LinkFailure &failure) override;
    void onReceived() override;
    void armDeadline(std::chrono::milliseconds after) override;
    void stopDeadline() override;

    const NetAddress m_address;
    std::chrono::milliseconds m_connectTimeout = ConnectTimeout;
    std::unique_ptr<IntervalTimer> m_deadline;
    std::unique_ptr<NetLink> m_link;
};
