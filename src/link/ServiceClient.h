// SPDX-License-Identifier: MIT
#pragma once

#include "LinkFailure.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtPlugin>

#include <memory>

// The bus side of a projector that projectord holds. It is built as a plug-in, loaded by
// ServiceConnection only when a program goes to the service, so that a program that does not
// (projector-ctl on a free device, or on a machine without a bus) carries no bus library: on
// Debian that brings libsystemd and its compression and crypto libraries, some megabytes.
// Only plain C++ crosses between the two: the plug-in has its own copy of whatever it links.
class ServiceClient
{
public:
    // By its configured name, which may start the service through D-Bus activation; or by the
    // device the service holds, which never starts it.
    enum class Lookup { ByName, ByDevice };

    // What the client tells its connection, always from the event loop.
    class Events
    {
    public:
        virtual void onConnected() = 0;
        // NoSuchProjector by name has the names the service has in its detail, ", " between.
        virtual void onConnectFailed(const LinkFailure &failure) = 0;
        virtual void onLost(const LinkFailure &failure) = 0;
        virtual void onReceived() = 0;
        virtual void onAvailable() = 0;
        virtual void onSharedLineSent(const QByteArray &line, const QString &client) = 0;

    protected:
        ~Events() = default;
    };

    virtual ~ServiceClient() = default;

    // As a Connection's members of the same names.
    [[nodiscard]] virtual bool open() = 0;
    virtual bool isConnecting() const = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    [[nodiscard]] virtual bool write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    virtual bool watchForReturn() = 0;
    virtual void stopWatching() = 0;
    virtual QString lineInForce() const = 0;
    virtual void setOwnRepliesOnly(bool own) = 0;
    virtual const LinkFailure &failure() const = 0;
    // Whether the last open found the projector at the service: false when the service is not
    // there or does not hold this device.
    virtual bool found() const = 0;
};

// A projector as the service holds it, read for a list.
struct ServiceProjector
{
    QString name;
    QString device;
    bool online = false;
    QString failure; // why it is offline, in the service's words
    // The last state read: "" or -1 until read; each time in ms since the epoch, 0 for never.
    QString power;
    qint64 powerReadAt = 0;
    QString input;
    qint64 inputReadAt = 0;
    int lampHours = -1;
    qint64 lampHoursReadAt = 0;
    QString orientation;
    qint64 orientationReadAt = 0;
};

// Every projector the service holds, read once. It only reads, so the bus policy lets every
// local user do it, and it never starts the service. Answered once, from the event loop;
// destroyed before that, it is not answered.
class ServiceListing
{
public:
    class Events
    {
    public:
        // In the configuration's order.
        virtual void onListed(const QList<ServiceProjector> &projectors) = 0;
        // ServiceNotRunning, NoServiceBus, AccessDenied, ServiceNotAnswering or ServiceFailed.
        virtual void onListFailed(const LinkFailure &failure) = 0;

    protected:
        ~Events() = default;
    };

    virtual ~ServiceListing() = default;
};

// The plug-in's root object. The interface's version goes up with any change to the two
// classes: a plug-in from another build is refused, not called.
class ServiceClientFactory
{
public:
    virtual ~ServiceClientFactory() = default;
    // `device` is "service:NAME" by name, or the local device's path.
    virtual std::unique_ptr<ServiceClient>
    create(const QString &device, ServiceClient::Lookup lookup, ServiceClient::Events &events) = 0;
    // Starts at once; the answer comes to `events` later.
    virtual std::unique_ptr<ServiceListing> list(ServiceListing::Events &events) = 0;
};

#define ServiceClientFactory_iid "io.github.projector_panel.ServiceClientFactory/2"
Q_DECLARE_INTERFACE(ServiceClientFactory, ServiceClientFactory_iid)
