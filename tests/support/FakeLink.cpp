// SPDX-License-Identifier: MIT
#include "FakeLink.h"

#include <utility>

bool FakeLink::failAs(LinkFailure::Action action, LinkFailure::Cause cause)
{
    return fail({action, cause, m_port, deviceName(), {}});
}

bool FakeLink::open()
{
    m_waitIfNotMade = false;
    if (missingPorts.count(m_port) && !connects) {
        operations << QStringLiteral("open %1 failed").arg(m_port);
        failAs(LinkFailure::Action::Open, LinkFailure::Cause::Missing);
        Q_EMIT cannotOpen(failure());
        return false;
    }
    m_waiting = false;
    if (connects) {
        m_connecting = true;
        operations << QStringLiteral("connect %1").arg(m_port);
        return true;
    }
    m_open = true;
    ++openCount;
    operations << QStringLiteral("open %1").arg(m_port);
    Q_EMIT opened();
    return true;
}

bool FakeLink::openAndWait()
{
    if (open()) {
        m_waitIfNotMade = m_connecting;
        return true;
    }
    m_waiting = true;
    return false;
}

void FakeLink::finishConnect()
{
    if (!m_connecting) return;
    m_connecting = false;
    m_open = true;
    ++openCount;
    operations << QStringLiteral("open %1").arg(m_port);
    for (const QByteArray &bytes : std::exchange(m_queued, {}))
        writes.append({now ? now() : 0, bytes});
    Q_EMIT opened();
}

void FakeLink::failConnect(LinkFailure::Cause cause)
{
    if (!m_connecting) return;
    m_connecting = false;
    m_queued.clear();
    operations << QStringLiteral("open %1 failed").arg(m_port);
    failAs(LinkFailure::Action::Open, cause);
    m_waiting = std::exchange(m_waitIfNotMade, false);
    Q_EMIT cannotOpen(failure());
    Q_EMIT openFailed(failure());
}

void FakeLink::close()
{
    m_waiting = false;
    m_waitIfNotMade = false;
    m_connecting = false;
    m_queued.clear();
    if (!m_open) return;
    operations << QStringLiteral("close");
    m_open = false;
    Q_EMIT closed();
}

bool FakeLink::setPortNumber(int port)
{
    operations << QStringLiteral("port %1").arg(port);
    m_port = port;
    return true;
}

bool FakeLink::applySettings(const LineSettings &s)
{
    settings = s.toString();
    operations << QStringLiteral("settings %1").arg(settings);
    if (lineNotSettable)
        Q_EMIT settingsNotApplied({LinkFailure::Action::SetLine,
                                   LinkFailure::Cause::LineNotSettable, portNumber(), deviceName(),
                                   settings});
    else
        Q_EMIT settingsApplied(s);
    return true;
}

bool FakeLink::write(const QByteArray &bytes)
{
    if (m_connecting) {
        m_queued << bytes;
        return true;
    }
    if (m_waiting) return failAs(LinkFailure::Action::Send, LinkFailure::Cause::AwaitingDevice);
    if (!m_open) return failAs(LinkFailure::Action::Send, LinkFailure::Cause::NotOpen);
    if (failWrites) return failAs(LinkFailure::Action::Send, LinkFailure::Cause::System);
    writes.append({now ? now() : 0, bytes});
    return true;
}

QByteArray FakeLink::readAll()
{
    QByteArray out;
    out.swap(m_inbox);
    return out;
}

void FakeLink::receive(const QByteArray &bytes)
{
    m_inbox += bytes;
    Q_EMIT received();
}

void FakeLink::unplug(const QString &why)
{
    m_open = false;
    m_waiting = true;
    operations << QStringLiteral("lost");
    fail({LinkFailure::Action::Lose, LinkFailure::Cause::Gone, m_port, deviceName(), why});
    Q_EMIT lost(failure());
}

void FakeLink::replug()
{
    if (!m_waiting) return;
    m_waiting = false;
    m_open = true;
    operations << QStringLiteral("restored %1").arg(m_port);
    Q_EMIT restored();
}

QByteArray FakeLink::written() const
{
    QByteArray all;
    for (const Write &w : writes) all += w.bytes;
    return all;
}

QList<QByteArray> FakeLink::lines() const
{
    QList<QByteArray> out;
    for (const Write &w : writes) out << w.bytes;
    return out;
}

QList<long long> FakeLink::times() const
{
    QList<long long> out;
    for (const Write &w : writes) out << w.atMs;
    return out;
}
