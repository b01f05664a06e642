// SPDX-License-Identifier: MIT
#pragma once

#include "Connection.h"

#include <QFileSystemWatcher>
#include <QSerialPort>
#include <QTimer>

#include <functional>
#include <memory>

// A local serial device (or a pseudo-terminal) through QSerialPort. While the device is lost it
// watches the device's folder, so a replugged adapter is noticed without polling.
class TtyConnection final : public Connection
{
    Q_OBJECT
public:
    explicit TtyConnection(const QString &device, QObject *parent = nullptr);

    bool open(const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    bool applySettings(const LineSettings &settings) override;
    bool write(const QByteArray &bytes) override;
    QByteArray readAll() override { return m_port.readAll(); }
    Backoff backoff() const override;
    bool watchForReturn() override;
    void stopWatching() override;

    // Whether this user may read and write the device; tests running as root replace it to see
    // the permission failure told apart.
    static std::function<bool(const QString &device)> &accessCheck();

    // Bytes waiting for a stalled reader are held up to this bound; past it a write is refused
    // (and reported), so what is queued keeps its order and nothing is dropped silently.
    static constexpr qint64 MaxQueuedBytes = 64 * 1024;

private:
    void applyTo(const LineSettings &s);
    void onError(QSerialPort::SerialPortError error);
    bool deviceIsGone() const;
    void retryQueuedWrite();
    void checkReturn();

    QSerialPort m_port;
    LineSettings m_settings;
    bool m_lostPending = false;
    QTimer m_drain;
    std::unique_ptr<QFileSystemWatcher> m_watcher; // while waiting for the device
    bool m_watching = false;
};
