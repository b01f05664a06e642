// SPDX-License-Identifier: MIT
#pragma once

#include "LineSettings.h"
#include "SerialLink.h"

#include <QObject>
#include <QSerialPort>

#include <array>

// The serial link on a real port (or a pseudo-terminal). Port numbers 1 and 2 stand for two
// device names, by default the platform's first two serial ports.
class QtSerialLink final : public QObject, public SerialLink
{
    Q_OBJECT
public:
    explicit QtSerialLink(const QString &device1 = defaultDevice(1),
                          const QString &device2 = defaultDevice(2), QObject *parent = nullptr);

    static QString defaultDevice(int port);

    bool isOpen() const override;
    bool open() override;
    void close() override;
    bool setPortNumber(int port) override;
    int portNumber() const override { return m_portNumber; }
    bool applySettings(const QString &settings) override;
    bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    QString errorString() const override { return m_error; }
    QString deviceName() const override;

    QString device(int port) const;

private:
    void applyTo(const LineSettings &s);
    void onError(QSerialPort::SerialPortError error);
    QString portLabel() const;

    QSerialPort m_port;
    std::array<QString, 2> m_devices;
    int m_portNumber = 1;
    LineSettings m_settings;
    QString m_error;
    bool m_lostPending = false;
};

// Words the failure of opening a device for a person: missing, in use, no permission.
QString describeOpenFailure(const QString &label, const QString &device,
                            QSerialPort::SerialPortError error, const QString &systemText);
