// SPDX-License-Identifier: MIT
#pragma once

#include "LineSettings.h"
#include "LinkFailure.h"

#include <QByteArray>
#include <QObject>

// One device behind a port number: a local serial device, or a serial device server reached
// over TCP. DeviceLink keeps the port numbers and the reconnection policy; a connection knows
// only its own device, and how to notice that the device may be back.
class Connection : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // On false, failure() says why. A network connection may turn the event loop while it
    // connects, for at most its connect timeout; it never blocks the thread.
    [[nodiscard]] virtual bool open(const LineSettings &settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // In force at once on an open connection, and for the next open.
    [[nodiscard]] virtual bool applySettings(const LineSettings &settings) = 0;
    [[nodiscard]] virtual bool write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    // After lost(), or after an open that failed while waiting: emits available() once when an
    // open may succeed again. Wakes up only on file-system events or a backoff timer.
    virtual void watchForReturn() = 0;
    virtual void stopWatching() = 0;

    // Fields set by the connection: action, cause, device, detail. The link adds the port.
    const LinkFailure &failure() const { return m_failure; }

Q_SIGNALS:
    void received();
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
