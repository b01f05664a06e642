// SPDX-License-Identifier: MIT
#include "TrafficLog.h"

#include "LineTrace.h"
#include "StatusTables.h"

#include <QDateTime>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>
#endif

TrafficLog::TrafficLog(Exchange &exchange, SerialLink &link, QObject *parent)
    : QObject(parent), m_exchange(exchange), m_link(link)
{
    connect(&exchange, &Exchange::lineSent, this, &TrafficLog::onSent);
    connect(&exchange, &Exchange::charactersReceived, this, &TrafficLog::onReceived);
    connect(&exchange, &Exchange::noReply, this,
            [this] { append(QStringLiteral("--  no reply")); });
    connect(&link, &SerialLink::opened, this, [this] { portEvent(QStringLiteral("opened")); });
    connect(&link, &SerialLink::restored, this, [this] { portEvent(QStringLiteral("restored")); });
    connect(&link, &SerialLink::closed, this,
            [this] { append(QStringLiteral("closed %1").arg(m_link.deviceName())); });
    connect(&link, &SerialLink::lost, this, [this](const LinkFailure &failure) {
        append(QStringLiteral("lost %1 (%2)").arg(m_link.deviceName(), failure.detail));
    });
    connect(&link, &SerialLink::settingsApplied, this, [this](const LineSettings &settings) {
        m_settings = settings;
        append(QStringLiteral("speed %1").arg(settings.toString()));
    });
}

bool TrafficLog::open(const QString &path)
{
    m_path = path;
    // Unbuffered: every line is one write() of its own, nothing waits in memory.
    constexpr auto mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
#ifdef Q_OS_UNIX
    // O_APPEND by hand: QFile's Append also seeks to the end, which /dev/stderr or a pipe
    // refuses with a warning of its own.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    if (fd >= 0 && m_file.open(fd, mode, QFileDevice::AutoCloseHandle)) return true;
    if (fd >= 0) ::close(fd);
#else
    m_file.setFileName(path);
    if (m_file.open(mode | QIODevice::Append)) return true;
    const QString reason = m_file.errorString();
#endif
    m_failed = true;
    Q_EMIT failed(tr("Cannot open the traffic log %1: %2. Nothing is logged; the projector is "
                     "controlled as before.")
                      .arg(path, reason));
    return false;
}

void TrafficLog::onSent(const QString &lineText)
{
    if (!m_file.isOpen()) return;
    m_loggedStatus.reset();
    append(QStringLiteral("TX  ") + lineTrace(lineText));
}

void TrafficLog::onReceived(const QString &characters)
{
    // Without a log, nothing of the receive path is traced twice: a flood stays as cheap as
    // it was before there was a log.
    if (!m_file.isOpen()) return;
    QString line = QStringLiteral("RX  ") + lineTrace(characters);
    // The status display decides on the reply's first characters, which may come in several
    // stretches; the reply so far is the exchange's plus what is arriving now.
    QString head = m_exchange.replyText().left(4);
    if (m_exchange.replyText().isEmpty()) m_loggedStatus.reset();
    head += QStringView(characters).left(4 - head.size());
    const auto status = interpretStatus(m_exchange.commandText(), lineTrace(head));
    if (status && status != m_loggedStatus) line += u' ' + *status;
    m_loggedStatus = status;
    append(line);
}

void TrafficLog::portEvent(const QString &what)
{
    append(QStringLiteral("%1 %2 %3").arg(what, m_link.deviceName(), m_settings.toString()));
}

void TrafficLog::append(const QString &text)
{
    if (!m_file.isOpen()) return;
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
        QStringLiteral("  port %1  ").arg(m_link.portNumber()) + text + u'\n';
    const QByteArray bytes = line.toUtf8();
    if (m_file.write(bytes) == bytes.size()) return;
    const QString reason = m_file.errorString();
    m_file.close();
    if (m_failed) return;
    m_failed = true;
    Q_EMIT failed(tr("Cannot write the traffic log %1: %2. Logging has stopped; the projector is "
                     "controlled as before.")
                      .arg(m_path, reason));
}
