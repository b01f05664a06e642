// SPDX-License-Identifier: MIT
#pragma once

#include "DieWithParent.h"
#include "FreePort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

// The real ser2net in front of a device (a pseudo-terminal's slave), serving one port on
// 127.0.0.1, raw TCP or RFC 2217. It can be killed and started again on the same port. Unless
// asked for, ser2net's wait of two characters' time before it passes the device's bytes on is
// off, so that replies come at once.
class Ser2Net
{
public:
    enum class Kind { Raw, Rfc2217 };
    static constexpr int Patience = 5000; // ms

    Ser2Net(Kind kind, const QString &device, const QString &line = QStringLiteral("19200n81"),
            bool charDelay = false)
        : m_kind(kind), m_port(freePort())
    {
        const QString accepter =
            kind == Kind::Raw ? QStringLiteral("tcp") : QStringLiteral("telnet(rfc2217),tcp");
        // Two connections, because the probe in start() may still be closing when the
        // connection under test arrives, and ser2net turns a second one away otherwise.
        QFile f(config());
        if (f.open(QIODevice::WriteOnly))
            f.write(QStringLiteral("connection: &port\n"
                                   "  accepter: %1,127.0.0.1,%2\n"
                                   "  connector: serialdev,%3,%4,local\n"
                                   "  options:\n"
                                   "    max-connections: 2\n"
                                   "    chardelay: %5\n")
                        .arg(accepter)
                        .arg(m_port)
                        .arg(device, line)
                        .arg(charDelay ? QLatin1String("true") : QLatin1String("false"))
                        .toUtf8());
    }
    ~Ser2Net() { kill(); }
    Ser2Net(const Ser2Net &) = delete;
    Ser2Net &operator=(const Ser2Net &) = delete;

    // Starts it and waits, by connecting, until it accepts.
    bool start()
    {
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.setStandardOutputFile(m_dir.filePath(QStringLiteral("ser2net.log")),
                                     QIODevice::Append);
        // -n -d: stay in the foreground, debug to the log; -u: no UUCP lock files to go stale.
        m_proc.setChildProcessModifier(dieWithParent);
        m_proc.start(QStringLiteral("ser2net"),
                     {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"),
                      QStringLiteral("-c"), config()});
        if (!m_proc.waitForStarted(Patience)) return false;
        const QDeadlineTimer deadline(Patience);
        while (!deadline.hasExpired() && m_proc.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
            if (probe.waitForConnected(200)) return true;
            QTest::qWait(20); // refused at once: a breath before the next try
        }
        return false;
    }

    void kill()
    {
        if (m_proc.state() == QProcess::NotRunning) return;
        m_proc.kill();
        m_proc.waitForFinished(Patience);
    }

    quint16 port() const { return m_port; }
    QString url() const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(m_kind == Kind::Raw ? QLatin1String("socket") : QLatin1String("rfc2217"))
            .arg(m_port);
    }
    QByteArray log() const
    {
        QFile f(m_dir.filePath(QStringLiteral("ser2net.log")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QString config() const { return m_dir.filePath(QStringLiteral("ser2net.yaml")); }

    Kind m_kind;
    quint16 m_port;
    QTemporaryDir m_dir;
    QProcess m_proc;
};
