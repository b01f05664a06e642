// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>

// Who a bus client is, for the traffic of everyone who watches: "PROGRAM[PID]" of the process
// behind a unique bus name. The bus daemon is asked without waiting for its answer; the name is
// kept until the client leaves the bus. A client's calls that come while its name is being
// found wait for it in order, so that what it sends is never shown under another name.
class ClientNames final : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxWaiting = 16; // calls of one client waiting for its name
    static constexpr int MaxKnown = 4096; // clients named at a time; beyond, the unique name

    using Call = std::function<void(const QString &client)>;

    explicit ClientNames(const QDBusConnection &bus, QObject *parent = nullptr);

    // Runs `call` with the client's name: at once when it is known and nothing of the client
    // waits, else once it is found. Nothing runs once `context` is gone, or the client has left
    // the bus. False, and nothing runs, when too many of the client's calls wait already.
    bool whenKnown(const QString &sender, QObject *context, Call call);
    // The name of `sender`, or `sender` itself while none is known.
    QString nameOf(const QString &sender) const;

Q_SIGNALS:
    // A client (a unique bus name) has left the bus.
    void left(const QString &sender);

private:
    struct Waiting
    {
        QPointer<QObject> context;
        Call call;
    };
    void resolve(const QString &sender);
    void found(const QString &sender, const QString &name);

private Q_SLOTS: // QDBusConnection::connect takes signals by name only
    void onNameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

private:
    QDBusConnection m_bus;
    QHash<QString, QString> m_known;
    QHash<QString, std::deque<Waiting>> m_waiting; // by sender, while its name is asked for
};
