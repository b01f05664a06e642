// SPDX-License-Identifier: MIT
#pragma once

#include "LinkFailure.h"

#include <QString>

// The address of a serial device server: socket://HOST:PORT (raw TCP) or rfc2217://HOST:PORT
// (Telnet with the COM-PORT-OPTION). Pure, so that a command line can refuse a bad address
// before anything is opened.
struct NetAddress
{
    enum class Kind { Raw, Rfc2217 };
    Kind kind = Kind::Raw;
    QString host; // without the brackets of an IPv6 address
    quint16 port = 0;
    // Cause::None when the address can be used; otherwise an Address* cause with the part at
    // fault in `detail`.
    LinkFailure::Cause error = LinkFailure::Cause::None;
    QString detail;

    bool isValid() const { return error == LinkFailure::Cause::None; }
    // Whether the name is one a device server is reached by, well formed or not.
    static bool handles(const QString &device);
    static NetAddress parse(const QString &device);
    // What follows the scheme: HOST:PORT, an IPv6 host in brackets. With `defaultPort`, the
    // port may be left out with its colon. The kind is left as it is.
    static NetAddress parseHostPort(const QString &rest, quint16 defaultPort = 0);
    // For a command line: what is wrong with a device server's address given for `port`, in
    // the words a script's reader gets; empty for a good address or a name of another kind.
    static QString problem(const QString &device, int port);
};
