// SPDX-License-Identifier: MIT
#pragma once

#include "Connection.h"

#include <QByteArray>
#include <QString>

// A connection whose line may be shared with projectord's other clients: what DeviceLink asks
// of it beyond a Connection. Only the connections that go to the service are of this kind.
class SharedConnection : public Connection
{
    Q_OBJECT
public:
    using Connection::Connection;

    // Whether the open line is shared, and the settings the service gives it (empty when not
    // known).
    virtual bool isShared() const = 0;
    virtual QString lineInForce() const = 0;
    // Take only the replies to this program's own lines, not those to the lines of the
    // service's other clients.
    virtual void setOwnRepliesOnly(bool own) = 0;

Q_SIGNALS:
    // A line another client of projectord sent.
    void sharedLineSent(const QByteArray &line, const QString &client);
};
