// SPDX-License-Identifier: MIT
#include "FakeLink.h"

bool FakeLink::open()
{
    if (missingPorts.count(m_port)) {
        m_error = QStringLiteral("Cannot open serial port %1 (fake%1): the device does not exist.")
                      .arg(m_port);
        operations << QStringLiteral("open %1 failed").arg(m_port);
        return false;
    }
    m_open = true;
    ++openCount;
    operations << QStringLiteral("open %1").arg(m_port);
    return true;
}

void FakeLink::close()
{
    operations << QStringLiteral("close");
    m_open = false;
}

bool FakeLink::setPortNumber(int port)
{
    operations << QStringLiteral("port %1").arg(port);
    m_port = port;
    return true;
}

bool FakeLink::applySettings(const QString &s)
{
    operations << QStringLiteral("settings %1").arg(s);
    settings = s;
    return true;
}

bool FakeLink::write(const QByteArray &bytes)
{
    if (!m_open || failWrites) {
        m_error = QStringLiteral("Cannot send to serial port %1 (fake%1): the port is not open.")
                      .arg(m_port);
        return false;
    }
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
    notify(Event::Received);
}

void FakeLink::unplug(const QString &why)
{
    m_open = false;
    operations << QStringLiteral("lost");
    notifyLost(why);
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
