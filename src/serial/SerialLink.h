// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The operations the panel needs of a serial port. Every failing operation leaves a description
// in errorString(); the link never shows anything itself.
class SerialLink
{
public:
    // What a notification is about. Only Received carries data; the receive handler ignores the
    // rest, as it ignores line and modem-line events.
    enum class Event { Received, Other };

    virtual ~SerialLink() = default;

    virtual bool isOpen() const = 0;
    virtual bool open() = 0;
    virtual void close() = 0;
    // Only while closed; selects the port that the next open uses.
    virtual bool setPortNumber(int port) = 0;
    virtual int portNumber() const = 0;
    // "19200,N,8,1"; in force for later opens and at once on an open port.
    virtual bool applySettings(const QString &settings) = 0;
    // Hands the bytes to the device at once; false when they cannot be sent.
    virtual bool write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    virtual QString errorString() const = 0;
    // The device behind the port, for messages ("/dev/ttyUSB0").
    virtual QString deviceName() const = 0;

    void setEventHandler(std::function<void(Event)> handler) { m_event = std::move(handler); }
    // Called once when an open port's device goes away; the link has closed the port by then.
    void setLostHandler(std::function<void(const QString &)> handler)
    {
        m_lost = std::move(handler);
    }

protected:
    void notify(Event event)
    {
        if (m_event) m_event(event);
    }
    void notifyLost(const QString &description)
    {
        if (m_lost) m_lost(description);
    }

private:
    std::function<void(Event)> m_event;
    std::function<void(const QString &)> m_lost;
};
