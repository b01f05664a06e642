// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QString>

// Why an operation on a serial link failed, and on which port and device. Links carry only
// causes, numbers and the system's error codes; words are made in one place, text(), for the
// one who reads them, so that they can be translated and so that a log stays English.
struct LinkFailure
{
    Q_DECLARE_TR_FUNCTIONS(LinkFailure)

public:
    enum class Action { Open, Send, Lose, SwitchPort, SetLine };
    enum class Cause {
        None,
        NoDevice,      // the device name is empty
        Missing,       // no such device
        InUse,         // another program holds it
        TooManyFiles,  // out of descriptors: systemError is EMFILE or ENFILE, count the limit
        NoPermission,  // it exists but this user may not read and write it
        NotSerialPort, // a regular file, a FIFO, /dev/null: no line to set
        NotOpen,       // a write while the port is closed
        Gone,          // the device went away while open; systemError or socketError may say how
        Refused,       // a device server refused the connection
        HostNotFound,
        TimedOut,
        NoSuchPort, // a port number other than 1 and 2
        StillOpen,  // the port number cannot change while a port is open

        // A device server's address that cannot be used; detail holds the part at fault.
        AddressNoScheme,       // neither socket:// nor rfc2217://
        AddressNoHost,         // socket://:4001
        AddressBadHost,        // socket://[::1 or socket://[::1]x:80
        AddressNoPort,         // rfc2217://127.0.0.1
        AddressBadPort,        // not digits: detail is what stands there
        AddressPortOutOfRange, // 0 or over 65535: detail is the number

        Connecting,       // an open while a connection is already being made
        CannotSetLine,    // RFC 2217 cannot carry these line settings
        LineRefused,      // the device server refuses to let the line be set (RFC 2217)
        NotRfc2217,       // the server never answered the RFC 2217 negotiation
        ServerClosed,     // the device server closed the connection as it was made
        Network,          // systemError is a QAbstractSocket::SocketError
        ServerNotTaking,  // count bytes wait for a device server that reads nothing
        DeviceNotReading, // count bytes wait for a local device that reads nothing
        System,           // systemError is an errno value
        LineNotSettable,  // a raw TCP device: the server's own line settings apply
        QueueFull,        // count lines already wait for the connection to be made
        AwaitingDevice,   // a write while the link waits for a lost device to return

        // Through projectord: service:NAME, or a local device that it holds.
        ServiceNoName,       // "service:" with no projector's name after it
        NoSuchProjector,     // projectord has no projector of that name
        NoServiceBus,        // its bus cannot be reached; detail is "system" or "session"
        ServiceNotRunning,   // not on the bus, and could not be started; detail: the bus's words
        ServiceNotAnswering, // no answer in the time allowed
        ServiceGone,         // projectord left the bus while the line was open
        ServiceOffline,      // projectord cannot reach the projector; detail: its reason (English)
        HeldOffline,         // projectord holds this local device but cannot open it; likewise
        AccessDenied,        // the bus policy does not let this user send to projectord
        ServiceBusy,         // too many commands wait at projectord; or count lines await answers
        ServiceFailed,       // any other error projectord answered; detail: its message
        LineSetByService,    // projectord's configuration sets the line; lineInForce when known
        NoServiceClient,     // this program's client of projectord cannot be loaded; detail: why
        NoNetLink,           // this program's side of network devices cannot be loaded; likewise
    };
    // Who reads the words: the window may point to its own controls; a script's reader may
    // not; the traffic log is always English and gives no advice. The service's journal and
    // its clients read the log's words with the device in place of the panel's port number,
    // which means nothing there.
    enum class Reader { Window, Script, Log, Service };

    Action action = Action::Open;
    Cause cause = Cause::None;
    int port = 0;
    QString device;
    QString detail; // data, never a sentence of ours: an address's part at fault, or what a server
                    // or projectord said
    int systemError = 0;   // errno, where the system gave one
    int socketError = -1;  // QAbstractSocket::SocketError, where a socket gave one
    qint64 count = 0;      // bytes or lines, where the cause has a number
    QString lineInForce{}; // LineSetByService: the settings projectord gives the line, if known

    bool isFailure() const { return cause != Cause::None; }
    // Whether an error code says this process or the system is out of descriptors.
    static bool isOutOfDescriptors(int systemError);
    // The system's words for an errno value: the C library's English description whatever the
    // locale, for a log, or the user's locale's (strerror) when `english` is false.
    static QString systemWords(int code, bool english = true);
    // The failure for it, with the process's limit on descriptors.
    static LinkFailure tooManyFiles(Action action, int systemError);
    QString text(Reader reader = Reader::Window) const;
    bool operator==(const LinkFailure &o) const
    {
        return action == o.action && cause == o.cause && port == o.port && device == o.device &&
               detail == o.detail && systemError == o.systemError && socketError == o.socketError &&
               count == o.count && lineInForce == o.lineInForce;
    }

private:
    QString serviceText(Reader reader, const QString &label) const;
};
