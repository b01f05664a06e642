// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QString>

// Why an operation on a serial link failed, and on which port and device. It becomes words in
// one place only, text(), so that the words can be translated; links never build sentences.
struct LinkFailure
{
    Q_DECLARE_TR_FUNCTIONS(LinkFailure)

public:
    enum class Action { Open, Send, Lose, SwitchPort };
    enum class Cause {
        None,
        NoDevice,      // the device name is empty
        Missing,       // no such device
        InUse,         // another program holds it
        NoPermission,  // it exists but this user may not read and write it
        NotSerialPort, // a regular file, a FIFO, /dev/null: no line to set
        NotOpen,       // a write while the port is closed
        Gone,          // the device went away while open
        Refused,       // a device server refused the connection
        HostNotFound,
        TimedOut,
        NoSuchPort, // a port number other than 1 and 2
        StillOpen,  // the port number cannot change while a port is open
        Other,      // detail holds the system's words
    };

    Action action = Action::Open;
    Cause cause = Cause::None;
    int port = 0;
    QString device;
    QString detail;

    bool isFailure() const { return cause != Cause::None; }
    QString text() const;
    bool operator==(const LinkFailure &o) const
    {
        return action == o.action && cause == o.cause && port == o.port && device == o.device &&
               detail == o.detail;
    }
};
