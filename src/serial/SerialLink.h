// SPDX-License-Identifier: MIT
#pragma once

#include "LineSettings.h"
#include "LinkFailure.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The operations the panel needs of a serial port, whatever is behind it: a local device, a
// serial device server on the network, or a fake in tests. Port numbers 1 and 2 stand for two
// devices. Every failing operation leaves a typed failure(); the link never shows anything.
class SerialLink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isOpen() const = 0;
    // False when the port cannot be opened; failure() says why. True when it is open, or when a
    // connection is being made (isConnecting()): then exactly one of opened() or openFailed()
    // follows from the event loop, unless close() comes first. Never waits.
    [[nodiscard]] virtual bool open() = 0;
    // As open(), but a device that cannot be had now is waited for as after lost(), by the same
    // rules: false with failure() saying why and isWaitingForDevice(), then restored() once it
    // is open. A connection that open() began and that fails is waited for likewise, after its
    // openFailed(). Not for faults that no wait mends, such as a malformed address; a link that
    // cannot wait only opens.
    [[nodiscard]] virtual bool openAndWait() { return open(); }
    virtual bool isConnecting() const { return false; }
    // Also ends any wait for a lost device to return, and any connection being made.
    virtual void close() = 0;
    // Only while closed; selects the port that the next open uses.
    [[nodiscard]] virtual bool setPortNumber(int port) = 0;
    virtual int portNumber() const = 0;
    // In force for later opens and at once on an open port.
    [[nodiscard]] virtual bool applySettings(const LineSettings &settings) = 0;
    // Hands the bytes to the device; false when they cannot be sent. While a connection is being
    // made, the bytes wait in order (bounded) and go out once it is made; if it fails they are
    // dropped and openFailed() says so.
    [[nodiscard]] virtual bool write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    // The device behind the current port, for messages ("/dev/ttyUSB0", "rfc2217://host:2000").
    virtual QString deviceName() const = 0;
    // True from lost() until the port is open again or closed: the link waits for the device.
    virtual bool isWaitingForDevice() const { return false; }

    const LinkFailure &failure() const { return m_failure; }
    QString errorString() const { return m_failure.text(); }

Q_SIGNALS:
    // Bytes wait to be read with readAll().
    void received();
    void opened();
    // A connection that open() began could not be made; the port is closed. Not emitted for the
    // link's own attempts to reopen a lost device, which go on quietly.
    void openFailed(const LinkFailure &failure);
    void closed();
    // The open port's device went away; the port is closed and the link waits for the device.
    void lost(const LinkFailure &failure);
    // The lost device came back and the port is open again, with the same settings.
    void restored();
    void settingsApplied(const LineSettings &settings);
    // The settings are recorded but cannot reach the line (a raw TCP device): instead of
    // settingsApplied, with Cause::LineNotSettable and the settings as the failure's detail.
    void settingsNotApplied(const LinkFailure &failure);
    // Every open() the caller began that did not open the port, at once (open() returned false)
    // or once connecting: for a record, such as the traffic log. openFailed() is the one to act
    // on.
    void cannotOpen(const LinkFailure &failure);
    // On a line shared with other programs, a line that one of them sent. `client` names it as
    // whoever shares the line tells ("projector-ctl[4321]").
    void sharedLineSent(const QByteArray &line, const QString &client);

protected:
    // Records the failure and returns false, for "return fail(...)".
    bool fail(LinkFailure failure)
    {
        m_failure = std::move(failure);
        return false;
    }

private:
    LinkFailure m_failure;
};
