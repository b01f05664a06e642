// SPDX-License-Identifier: MIT
#pragma once

#include "Connection.h"
#include "SerialLink.h"

#include <QLoggingCategory>

#include <array>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcSerial)

// The panel's serial link on real devices. Port numbers 1 and 2 stand for two device names, by
// default the platform's first two serial ports; a name may also be a serial device server,
// socket://HOST:PORT or rfc2217://HOST:PORT. When the open port's device goes away, the link
// waits for it and opens it again by itself with the settings in force.
class DeviceLink final : public SerialLink
{
    Q_OBJECT
public:
    explicit DeviceLink(const QString &device1 = defaultDevice(1),
                        const QString &device2 = defaultDevice(2), QObject *parent = nullptr);
    ~DeviceLink() override;

    static QString defaultDevice(int port);
    // The connection a device name calls for: a local device or a device server.
    static std::unique_ptr<Connection> makeConnection(const QString &device);

    bool isOpen() const override;
    bool open() override;
    void close() override;
    bool setPortNumber(int port) override;
    int portNumber() const override { return m_portNumber; }
    bool applySettings(const LineSettings &settings) override;
    bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    QString deviceName() const override { return device(m_portNumber); }
    bool isWaitingForDevice() const override { return m_waiting; }

    QString device(int port) const;
    void setDevice(int port, const QString &device);

private:
    bool failWith(LinkFailure failure);
    void onLost(const LinkFailure &failure);
    void onAvailable();

    std::array<QString, 2> m_devices;
    int m_portNumber = 1;
    LineSettings m_settings;
    std::unique_ptr<Connection> m_connection; // for deviceName(), made at the first open
    bool m_waiting = false;
};
