// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private dbus-daemon for one test, never the machine's own buses: a unix socket in a
// temporary folder, and a configuration that behaves like the system bus (method calls refused
// unless a policy allows them) plus a copy of projectord's shipped policy. In the copy, the
// group that may send to projectors is one the test chooses, and the user that may own the
// service's name is the running user. Killed with the object.
//
//   DbusDaemon bus;                      // the running user may send
//   QVERIFY2(bus.start(), qPrintable(bus.errors()));
//   QDBusConnection c = bus.connect(QStringLiteral("client-1"));
class DbusDaemon
{
public:
    static constexpr int Patience = 5000; // ms

    // Whether the running user is in the group that may send to projectors.
    enum class Sender { Member, Outsider };

    explicit DbusDaemon(Sender sender = Sender::Member);
    ~DbusDaemon();
    DbusDaemon(const DbusDaemon &) = delete;
    DbusDaemon &operator=(const DbusDaemon &) = delete;

    // Starts the daemon and takes its address from the line it prints. False, with errors()
    // saying why, when it does not come up.
    bool start();

    // Kills the daemon at once, as a crash would: every connection to it is lost.
    void kill();

    QString address() const { return m_address; }
    // The group put in the policy's place of the one that may send.
    QString group() const { return m_group; }
    QString errors() const { return m_errors; }

    // A new connection of the test to this bus; each name makes a client of its own. All are
    // closed with the daemon.
    QDBusConnection connect(const QString &name);
    // The environment for a child process: this bus as its system and its session bus, and a
    // runtime directory of projectord's that is this bus's own.
    QProcessEnvironment environment() const;
    // The same for this process, and so for every child it starts with its own environment.
    void useInThisProcess() const;

private:
    QString runDirectory() const;

    QTemporaryDir m_dir;
    QProcess m_proc;
    QString m_group;
    QString m_address;
    QString m_errors;
    QStringList m_connections;
};
