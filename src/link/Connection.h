// SPDX-License-Identifier: MIT
#pragma once

#include "LineSettings.h"
#include "LinkFailure.h"

#include <QByteArray>
#include <QObject>

#include <chrono>

// One device behind a port number: a local serial device, a serial device server reached over
// TCP, or a line shared with others (SharedConnection). DeviceLink keeps the port numbers and the
// one reconnection policy; a connection knows only its own device, how long to wait between
// attempts on it, and how to notice that a missing device may be back.
class Connection : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Waits between reopen attempts: the first, doubled after each failure up to the last.
    struct Backoff
    {
        std::chrono::milliseconds first;
        std::chrono::milliseconds last;
    };

    // False when it cannot open; failure() says why. True when open, or while connecting
    // (isConnecting()): then connected() or connectFailed() follows from the event loop,
    // unless close() comes first. Never waits.
    [[nodiscard]] virtual bool open(const LineSettings &settings) = 0;
    virtual bool isConnecting() const { return false; }
    // Also gives up a connection being made, without a signal.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // In force at once on an open connection, and for the next open.
    [[nodiscard]] virtual bool applySettings(const LineSettings &settings) = 0;
    // False for a device whose line settings cannot be set from here (raw TCP).
    virtual bool canSetLine() const { return true; }
    [[nodiscard]] virtual bool write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;

    virtual Backoff backoff() const = 0;
    // How long a reopened connection must last before it counts as the device's return: a
    // device server that accepts and then drops at once has not come back.
    virtual std::chrono::milliseconds settleTime() const { return std::chrono::milliseconds(0); }
    // When the device is missing, watches for it and returns true: available() comes when it
    // may be back. False when there is nothing to watch, and only a timed retry can tell.
    virtual bool watchForReturn() { return false; }
    virtual void stopWatching() {}

    // Fields set by the connection: action, cause, device, codes. The link adds the port.
    const LinkFailure &failure() const { return m_failure; }

Q_SIGNALS:
    void received();
    void connected();
    void connectFailed(const LinkFailure &failure);
    // The device went away; the connection has closed itself.
    void lost(const LinkFailure &failure);
    void available();

protected:
    bool fail(LinkFailure::Action action, LinkFailure::Cause cause, const QString &detail = {})
    {
        return fail(LinkFailure{action, cause, 0, {}, detail});
    }
    // Fills in the device; returns false, for "return fail(...)".
    bool fail(LinkFailure failure)
    {
        failure.device = m_device;
        m_failure = std::move(failure);
        return false;
    }
    void setDevice(const QString &device) { m_device = device; }
    const QString &device() const { return m_device; }

private:
    QString m_device;
    LinkFailure m_failure;
};
