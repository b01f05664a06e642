// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceClient.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class BusListing;
class QDBusError;
class QDBusMessage;
class QDBusServiceWatcher;

// A projector at projectord over D-Bus. The line is shared: lines go out the moment they are
// written, on a socket of this client's own from OpenLine (a call per line would cost a trip
// through the bus daemon and two threads on each side), and what the projector sends comes
// with the Received signal. Opening asks in steps, each answered from the event loop: find the
// projector, read its state, and open the socket, which the bus policy lets only those who may
// send do.
class BusClient final : public QObject, public ServiceClient, private ServiceListing::Events
{
    Q_OBJECT
public:
    // For each call; activation of the service included.
    static constexpr std::chrono::milliseconds CallTimeout{5000};
    // Received bytes not yet taken by readAll(); past that they are dropped, and counted.
    static constexpr qsizetype MaxUnread = 1024 * 1024;

    BusClient(const QString &device, Lookup lookup, ServiceClient::Events &events);
    ~BusClient() override;

    [[nodiscard]] bool open() override;
    bool isConnecting() const override { return m_step != Step::Closed && m_step != Step::Open; }
    void close() override;
    bool isOpen() const override { return m_step == Step::Open; }
    [[nodiscard]] bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    bool watchForReturn() override;
    void stopWatching() override { m_watching = false; }
    QString lineInForce() const override { return m_lineSettings; }
    void setOwnRepliesOnly(bool own) override { m_ownRepliesOnly = own; }
    const LinkFailure &failure() const override { return m_failure; }
    bool found() const override { return m_found; }

private Q_SLOTS:
    // D-Bus signals, by the names QDBusConnection::connect() takes.
    void onLineSent(const QByteArray &line, const QString &client, const QString &sender);
    void onReceived(const QByteArray &bytes, const QString &owner);
    void onPropertiesChanged(const QDBusMessage &message);

private:
    enum class Step { Closed, Finding, Reading, Trying, Open };

    LinkFailure::Cause offline() const;
    bool fail(LinkFailure::Action action, LinkFailure::Cause cause, const QString &detail = {});
    template <typename F> void call(const QDBusMessage &message, F &&answered);
    void onFound(const QDBusMessage &reply);
    void onRead(const QDBusMessage &reply);
    void connectFailedWith(LinkFailure::Cause cause, const QString &detail = {});
    void failedStep(const QDBusError &error);
    // For a name the service does not have: the names it has.
    void onListed(const QList<ServiceProjector> &projectors) override;
    void onListFailed(const LinkFailure &failure) override;
    void dropListing();
    void onLineOpened(const QDBusMessage &reply);
    void closeOwnLine();
    void onOwnerChanged(const QString &oldOwner, const QString &newOwner);
    void lose(LinkFailure::Cause cause, const QString &detail = {});
    void subscribe(const QString &path);
    void unsubscribe();
    void takeProperties(const QVariantMap &properties);
    QDBusMessage projectorCall(const QString &interface, const QString &member) const;

    const QString m_device;
    const Lookup m_lookup;
    ServiceClient::Events &m_events;
    LinkFailure m_failure;
    QDBusConnection m_bus{QString()};
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    std::unique_ptr<BusListing> m_listing;
    Step m_step = Step::Closed;
    unsigned m_generation = 0; // one per open, so that answers for an earlier one do nothing
    bool m_found = false;
    bool m_held = false; // the service has held the device: its return is waited for
    QString m_owner;     // the service's unique name
    QString m_path;      // the projector's object path, subscribed to
    bool m_online = false;
    QString m_lineSettings;
    QString m_serviceFailure; // why the service has the projector offline
    QByteArray m_unread;
    qint64 m_dropped = 0;
    int m_ownLine = -1; // the socket from OpenLine, or -1 on a bus that cannot pass one
    bool m_ownRepliesOnly = false;
    bool m_watching = false;
};
