// SPDX-License-Identifier: MIT
#include "Mosquitto.h"

#include "DieWithParent.h"
#include "FreePort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace {

// The broker is in sbin, which a user's PATH may lack.
QString program(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return !found.isEmpty()
               ? found
               : QStandardPaths::findExecutable(
                     name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
}

} // namespace

Mosquitto::Mosquitto(const QString &user, const QByteArray &password, Transport transport)
    : m_user(user), m_password(password), m_transport(transport)
{
}

Mosquitto::~Mosquitto()
{
    kill();
}

bool Mosquitto::start(quint16 port)
{
    const QString passwords = m_dir.filePath(QStringLiteral("passwords"));
    QProcess tool;
    tool.start(program(QStringLiteral("mosquitto_passwd")),
               {QStringLiteral("-c"), QStringLiteral("-b"), passwords, m_user,
                QString::fromUtf8(m_password)});
    if (!tool.waitForFinished(Patience) || tool.exitCode() != 0) {
        m_errors = QStringLiteral("mosquitto_passwd: ") + tool.errorString() +
                   QString::fromLocal8Bit(tool.readAllStandardError());
        return false;
    }
    QString tls;
    if (m_transport == Transport::Tls) {
        const QString key = m_dir.filePath(QStringLiteral("key.pem"));
        tool.start(QStringLiteral("openssl"),
                   {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                    QStringLiteral("-addext"),
                    QStringLiteral("subjectAltName=DNS:127.0.0.1,IP:127.0.0.1"),
                    QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate()});
        if (!tool.waitForFinished(Patience) || tool.exitCode() != 0) {
            m_errors = QStringLiteral("openssl: ") + tool.errorString() +
                       QString::fromLocal8Bit(tool.readAllStandardError());
            return false;
        }
        tls = QStringLiteral("certfile %1\nkeyfile %2\n").arg(certificate(), key);
    }
    m_port = port ? port : freePort();
    // Its log on stderr: unbuffered. Run as root, the broker would become the user "mosquitto", who
    // cannot read this folder.
    const passwd *self = getpwuid(geteuid());
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!self || !config.open(QIODevice::WriteOnly)) {
        m_errors = QStringLiteral("cannot write the configuration");
        return false;
    }
    config.write(QStringLiteral("listener %1 127.0.0.1\n"
                                "allow_anonymous false\n"
                                "password_file %2\n"
                                "persistence false\n"
                                "user %3\n"
                                "log_dest stderr\n"
                                "connection_messages false\n%4")
                     .arg(m_port)
                     .arg(passwords, QString::fromLocal8Bit(self->pw_name), tls)
                     .toUtf8());
    config.close();
    m_proc.setChildProcessModifier(dieWithParent);
    m_proc.setProcessChannelMode(QProcess::MergedChannels);
    m_proc.start(program(QStringLiteral("mosquitto")), {QStringLiteral("-c"), config.fileName()});
    const QDeadlineTimer deadline(Patience);
    QByteArray out;
    while (!out.contains(" running") && !deadline.hasExpired() &&
           m_proc.state() != QProcess::NotRunning)
        if (m_proc.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            out += m_proc.readAll();
    if (out.contains(" running")) {
        // What it logs later is not read: kept, it would fill the pipe and stall the broker.
        QObject::connect(&m_proc, &QProcess::readyRead, &m_proc, [this] { m_proc.readAll(); });
        return true;
    }
    m_errors = QStringLiteral("mosquitto did not start: ") + m_proc.errorString() + u' ' +
               QString::fromLocal8Bit(out);
    return false;
}

void Mosquitto::kill()
{
    if (m_proc.state() == QProcess::NotRunning) return;
    m_proc.kill();
    m_proc.waitForFinished(Patience);
}

QByteArray Mosquitto::firstMessage(const QString &topic, int seconds) const
{
    QProcess sub;
    sub.setChildProcessModifier(dieWithParent);
    sub.start(program(QStringLiteral("mosquitto_sub")),
              {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
               QString::number(m_port), QStringLiteral("-u"), m_user, QStringLiteral("-P"),
               QString::fromUtf8(m_password), QStringLiteral("-t"), topic, QStringLiteral("-C"),
               QStringLiteral("1"), QStringLiteral("-W"), QString::number(seconds)});
    sub.waitForFinished(seconds * 1000 + Patience);
    return sub.readAllStandardOutput().trimmed();
}
