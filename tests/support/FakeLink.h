// SPDX-License-Identifier: MIT
#pragma once

#include "SerialLink.h"
#include "VirtualClock.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <set>

// A serial link in memory. Records what is written, with the virtual time when a clock is
// given; delivers received bytes when the test says so; fails the operations it is told to.
class FakeLink final : public SerialLink
{
public:
    struct Write
    {
        long long atMs;
        QByteArray bytes;
    };

    // What the test can make fail.
    std::set<int> missingPorts;     // open() fails on these port numbers, unless it connects
    bool failWrites = false;        // every write fails even while open
    bool connects = false;          // open() only begins a connection: finishConnect() ends it
    bool lineNotSettable = false;   // like a raw TCP device
    std::function<long long()> now; // stamps the writes

    // Log of operations, for the open-close-open order at start ("open 1", "close", ...).
    QStringList operations;
    QList<Write> writes;
    QString settings;
    int openCount = 0;

    bool isOpen() const override { return m_open; }
    bool isConnecting() const override { return m_connecting; }
    bool isWaitingForDevice() const override { return m_waiting; }
    bool open() override;
    // A missing port, or a connection that fails, is waited for until replug().
    bool openAndWait() override;
    void close() override;
    bool setPortNumber(int port) override;
    int portNumber() const override { return m_port; }
    bool applySettings(const LineSettings &s) override;
    bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    QString deviceName() const override { return QStringLiteral("fake%1").arg(m_port); }

    // The connection that open() began is made: the lines written meanwhile go out, in order.
    void finishConnect();
    // It cannot be made: the lines written meanwhile are dropped.
    void failConnect(LinkFailure::Cause cause = LinkFailure::Cause::Refused);

    // The device sends these bytes: they wait in the receive buffer, then a notification.
    void receive(const QByteArray &bytes);
    // A notification with nothing waiting.
    void emptyNotification() { Q_EMIT received(); }
    // The device goes away; the link waits for it.
    void unplug(const QString &why = QStringLiteral("gone"));
    // The device is back: the port opens again by itself.
    void replug();

    // Everything written, concatenated; each write; the time of each.
    QByteArray written() const;
    QList<QByteArray> lines() const;
    QList<long long> times() const;

private:
    bool failAs(LinkFailure::Action action, LinkFailure::Cause cause);

    bool m_open = false;
    bool m_connecting = false;
    bool m_waiting = false;
    bool m_waitIfNotMade = false;
    QList<QByteArray> m_queued;
    int m_port = 0;
    QByteArray m_inbox;
};

// A fake link that stamps its writes with a virtual clock; a base class, so that both exist
// before the panel a rig builds on them.
struct VirtualLine
{
    VirtualLine()
    {
        link.now = [this] { return clock.now().count(); };
    }
    VirtualLine(const VirtualLine &) = delete;
    VirtualLine &operator=(const VirtualLine &) = delete;

    VirtualClock clock;
    FakeLink link;

    void at(long long ms) { clock.advanceTo(std::chrono::milliseconds(ms)); }
};
