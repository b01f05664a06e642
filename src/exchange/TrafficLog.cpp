// SPDX-License-Identifier: MIT
#include "TrafficLog.h"

#include "LineTrace.h"
#include "StatusTables.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString TrafficLogFailure::text() const
{
    QString why;
    switch (systemError) {
    case 0: why = tr("unknown error"); break;
    case ENXIO: why = tr("no program reads from it"); break; // a FIFO without a reader
    case EPIPE: why = tr("the program reading it has ended"); break;
    case EAGAIN: why = tr("the program reading it does not keep up"); break;
    default: why = QString::fromLocal8Bit(std::strerror(systemError)); break;
    }
    if (what == What::Open)
        return tr("Cannot open the traffic log %1: %2. Nothing is logged; the projector is "
                  "controlled as before.")
            .arg(path, why);
    return tr("Cannot write the traffic log %1: %2. Logging has stopped; the projector is "
              "controlled as before.")
        .arg(path, why);
}

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
    // The log's words are English in every language, the failure's too.
    connect(&link, &SerialLink::lost, this, [this](const LinkFailure &failure) {
        append(QStringLiteral("lost %1: %2")
                   .arg(m_link.deviceName(), failure.text(LinkFailure::Reader::Log)));
    });
    connect(&link, &SerialLink::settingsApplied, this, [this](const LineSettings &settings) {
        m_settings = settings;
        append(QStringLiteral("speed %1").arg(settings.toString()));
    });
    // What really happened on a raw TCP device, or on a line projectord sets: nothing on the
    // line, or the service's settings.
    connect(&link, &SerialLink::settingsNotApplied, this, [this](const LinkFailure &failure) {
        if (const auto inForce = LineSettings::parse(failure.lineInForce)) m_settings = *inForce;
        if (!m_settingsAsked) return;
        append(QStringLiteral("speed %1 not set: %2")
                   .arg(failure.detail, failure.text(LinkFailure::Reader::Log)));
    });
    // A program that cannot get the line says so here too: a cron job's log is all that is
    // read of it.
    connect(&link, &SerialLink::cannotOpen, this, [this](const LinkFailure &failure) {
        append(QStringLiteral("not opened %1: %2")
                   .arg(m_link.deviceName(), failure.text(LinkFailure::Reader::Log)));
    });
    connect(&exchange, &Exchange::otherLineSent, this,
            [this](const QString &lineText, const QString &client) {
                if (m_fd < 0) return;
                m_loggedStatus.reset();
                append(QStringLiteral("other TX  %1 by %2").arg(lineTrace(lineText), client));
            });
    connect(&exchange, &Exchange::earlierReply, this, &TrafficLog::onEarlierReply);
}

TrafficLog::~TrafficLog()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool TrafficLog::open(const QString &path)
{
    m_path = path;
    // O_APPEND by hand: QFile's Append also seeks to the end, which /dev/stderr or a pipe
    // refuses. O_NONBLOCK: opening a FIFO nobody reads would wait for a reader forever; so it
    // fails at once with ENXIO instead.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        fail(TrafficLogFailure::What::Open, errno);
        return false;
    }
    // A FIFO or a pipe stays non-blocking, so that a reader that stops reading stops the log,
    // not the program; a file or a terminal is written as usual.
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && !S_ISFIFO(st.st_mode))
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    return true;
}

void TrafficLog::onSent(const QString &lineText)
{
    if (m_fd < 0) return;
    m_loggedStatus.reset();
    append(QStringLiteral("TX  ") + lineTrace(lineText));
}

void TrafficLog::onReceived(const QString &characters)
{
    // Without a log, nothing of the receive path is traced twice: a flood stays as cheap as
    // it was before there was a log.
    if (m_fd < 0) return;
    QString line = QStringLiteral("RX  ") + lineTrace(characters);
    // The status display decides on the reply's first characters, which may come in several
    // stretches; the reply so far is the exchange's plus what is arriving now.
    QString head = m_exchange.replyText().left(4);
    if (m_exchange.replyText().isEmpty()) m_loggedStatus.reset();
    head += QStringView(characters).left(4 - head.size());
    const auto status = interpretStatus(m_exchange.commandText(), head);
    if (status && status != m_loggedStatus) line += u' ' + *status;
    m_loggedStatus = status;
    append(line);
}

// Logged as RX when they came; here they are read against the line they answer.
void TrafficLog::onEarlierReply(const QString &characters)
{
    if (m_fd < 0) return;
    QString line = QStringLiteral("reply  ") + lineTrace(characters);
    m_loggedStatus = interpretStatus(m_exchange.commandText(), QStringView(characters).left(4));
    if (m_loggedStatus) line += u' ' + *m_loggedStatus;
    append(line);
}

void TrafficLog::portEvent(const QString &what)
{
    append(QStringLiteral("%1 %2 %3").arg(what, m_link.deviceName(), m_settings.toString()));
}

void TrafficLog::append(const QString &text)
{
    if (m_fd < 0) return;
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
        QStringLiteral("  port %1  ").arg(m_link.portNumber()) + text + u'\n';
    // One write() a line: a pipe takes up to PIPE_BUF bytes whole or not at all.
    const QByteArray bytes = line.toUtf8();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const auto n = ::write(m_fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : 0;
            ::close(m_fd);
            m_fd = -1;
            fail(TrafficLogFailure::What::Write, error);
            return;
        }
        written += n;
    }
}

void TrafficLog::fail(TrafficLogFailure::What what, int systemError)
{
    if (m_failed) return;
    m_failed = true;
    Q_EMIT failed({what, m_path, systemError});
}
