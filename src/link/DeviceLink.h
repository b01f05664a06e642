// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"
#include "SerialLink.h"
#include "SharedConnection.h"

#include <QByteArrayList>
#include <QLoggingCategory>

#include <array>
#include <chrono>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcSerial)

// The serial link on real devices. Port numbers 1 and 2 stand for two device names, by default
// the platform's first two serial ports; a name may also be a serial device server,
// socket://HOST:PORT or rfc2217://HOST:PORT, or a projector that projectord holds,
// service:NAME. A local device that projectord holds is reached through the service too. When
// the open port's device goes away, the link waits for it and opens it again by itself with
// the settings in force. The one reconnection policy lives here, on the timer seam: a device's
// connection says how long to wait between attempts and whether it can watch for the device
// instead.
class DeviceLink final : public SerialLink
{
    Q_OBJECT
public:
    // Lines written while a connection is being made wait, up to this many, for it.
    static constexpr int MaxWaitingLines = 64;
    // A reopened connection that lasts this long has truly come back: the next loss starts
    // the backoff from its first wait again.
    static constexpr std::chrono::milliseconds StableAfter{30000};

    explicit DeviceLink(const QString &device1 = defaultDevice(1),
                        const QString &device2 = defaultDevice(2),
                        TimerFactory timers = PreciseTimer::factory(), QObject *parent = nullptr);
    ~DeviceLink() override;

    static QString defaultDevice(int port);
    // The connection a device name calls for: a local device, a device server or a projector
    // that projectord holds; a local device through projectord only when `throughService`.
    static std::unique_ptr<Connection>
    makeConnection(const QString &device, const TimerFactory &timers, bool throughService = false);

    bool isOpen() const override;
    bool open() override;
    bool openAndWait() override;
    bool isConnecting() const override { return m_connecting; }
    void close() override;
    bool setPortNumber(int port) override;
    int portNumber() const override { return m_portNumber; }
    bool applySettings(const LineSettings &settings) override;
    bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    QString deviceName() const override { return device(m_portNumber); }
    bool isWaitingForDevice() const override { return m_waiting; }
    // True while the open port reaches its projector through projectord, shared with the
    // service's other clients.
    bool isShared() const;

    // Whether a local device that projectord holds is reached through the service, which is
    // asked at each open: so the panel and projector-ctl share its line. Once the service has
    // held the device, the link stays its client while it restarts. Off unless set, since
    // projectord itself, and anything else that must own the device, opens it directly.
    void setThroughService(bool through);
    // On a line shared through projectord, receive only the replies to this program's own
    // lines (projector-ctl), not all that the line receives (the panel).
    void setOwnRepliesOnly(bool own);

    QString device(int port) const;
    void setDevice(int port, const QString &device);

private:
    bool failWith(LinkFailure failure);
    void dropConnection();
    void onConnected();
    void onConnectFailed(const LinkFailure &failure);
    void onLost(const LinkFailure &failure);
    void waitForDevice();
    void tryAgain();
    void settled();
    void startStableTimer();
    void sayIfShared();
    // The connection when it may be shared through projectord; null for the others.
    SharedConnection *sharedConnection() const;

    std::array<QString, 2> m_devices;
    TimerFactory m_timers;
    int m_portNumber = 1;
    LineSettings m_settings;
    std::unique_ptr<Connection> m_connection; // for deviceName(), made at the first open
    bool m_connecting = false;                // an open() the caller began
    QByteArrayList m_waitingLines;            // written while connecting
    bool m_waiting = false;                   // for a lost device
    bool m_waitIfNotMade = false;             // for a connection openAndWait() began
    bool m_settling = false;                  // reopened, not yet counted as back
    int m_attempts = 0;                       // failed reopens since the device was last stable
    std::unique_ptr<IntervalTimer> m_retry;   // the next reopen attempt
    std::unique_ptr<IntervalTimer> m_settle;  // a reopened connection's settling time
    std::unique_ptr<IntervalTimer> m_stable;  // resets the backoff
    bool m_throughService = false;
    bool m_ownRepliesOnly = false;
    // What a write meets while the link waits: a lost device, or a stopped projectord.
    LinkFailure::Cause m_waitCause = LinkFailure::Cause::AwaitingDevice;
};
