// SPDX-License-Identifier: MIT
#pragma once

#include "LineSettings.h"
#include "LinkFailure.h"

#include <QByteArray>
#include <QString>
#include <QtPlugin>

#include <chrono>
#include <memory>

// The socket side of a serial device server's connection: TCP, and Telnet for RFC 2217. It is
// built as a plug-in, loaded by NetConnection at the first open of such a device, so that a
// program that opens only local devices carries neither Qt Network nor libtelnet: on Debian
// they bring libproxy and Kerberos, over a megabyte resident. As with ServiceClient.h, only
// plain C++ crosses; the one timer stays the program's, so that it may be a virtual clock's.
class NetLink
{
public:
    // From the start of a connect to a usable connection: the host looked up, TCP connected
    // and, over RFC 2217, the server's answer to the COM-PORT-OPTION.
    static constexpr std::chrono::milliseconds ConnectTimeout{3000};
    // Bytes the socket may hold unsent; write() refuses more.
    static constexpr qint64 MaxUnsent = 64 * 1024;
    // Decoded bytes not yet taken by readAll(); past that the socket is not read, and TCP
    // makes the server wait.
    static constexpr qsizetype MaxUnread = 1024 * 1024;
    // A device server whose serial device cannot be opened takes the connection and closes it
    // at once, often with a message; a connection that lasts this long is open.
    static constexpr std::chrono::milliseconds ProveTime{100};
    // How much of what such a server said goes into the failure.
    static constexpr qsizetype MaxFarewell = 120;

    // What the socket side tells its connection, always from the event loop.
    class Events
    {
    public:
        virtual void onConnected() = 0;
        virtual void onConnectFailed(const LinkFailure &failure) = 0;
        virtual void onLost(const LinkFailure &failure) = 0;
        virtual void onReceived() = 0;
        // The one deadline: NetLink::onDeadline() once it has run out, unless stopped first.
        // Arming it again restarts it.
        virtual void armDeadline(std::chrono::milliseconds after) = 0;
        virtual void stopDeadline() = 0;

    protected:
        ~Events() = default;
    };

    virtual ~NetLink() = default;

    // As a Connection's members of the same names.
    [[nodiscard]] virtual bool open(const LineSettings &settings) = 0;
    virtual bool isConnecting() const = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    [[nodiscard]] virtual bool applySettings(const LineSettings &settings) = 0;
    [[nodiscard]] virtual bool write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    virtual const LinkFailure &failure() const = 0;

    virtual void setConnectTimeout(std::chrono::milliseconds timeout) = 0;
    virtual void onDeadline() = 0;
};

// The plug-in's root object; the version goes up with any change to the two classes.
class NetLinkFactory
{
public:
    virtual ~NetLinkFactory() = default;
    // `device` is socket://HOST:PORT or rfc2217://HOST:PORT.
    virtual std::unique_ptr<NetLink> create(const QString &device, NetLink::Events &events) = 0;
};

#define NetLinkFactory_iid "io.github.projector_panel.NetLinkFactory/1"
Q_DECLARE_INTERFACE(NetLinkFactory, NetLinkFactory_iid)
