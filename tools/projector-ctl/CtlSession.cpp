// SPDX-License-Identifier: MIT
#include "CtlSession.h"

#include "LineTrace.h"
#include "StatusTables.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace {

// The reply as the panel's RXD display shows it when its window closes.
QString replyTrace(const CommandResult &r)
{
    return r.replied ? lineTrace(QString::fromLatin1(r.reply)) : Exchange::NoReplyMark;
}

// The panel's status words for the reply.
std::optional<QString> statusText(const CommandResult &r)
{
    if (!r.replied) return std::nullopt;
    return interpretStatus(QString::fromLatin1(commandLine(r.command.code)),
                           QString::fromLatin1(r.reply));
}

QString textLine(const CommandResult &r)
{
    QString line = r.command.code + QStringLiteral("  ") + replyTrace(r);
    if (const auto status = statusText(r)) line += u' ' + *status;
    return line;
}

QString jsonLine(const CommandResult &r)
{
    const auto status = statusText(r);
    // The state as data, for a script to act on: only what this status read gave.
    QJsonObject o = QJsonObject::fromVariantMap(readingFields(r.reading));
    o.insert(QStringLiteral("code"), QString(r.command.code));
    o.insert(QStringLiteral("name"), r.command.name);
    o.insert(QStringLiteral("reply"), replyTrace(r));
    o.insert(QStringLiteral("status"), status ? QJsonValue(*status) : QJsonValue());
    o.insert(QStringLiteral("replied"), r.replied);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

} // namespace

int CtlSession::writeLine(std::FILE *to, const QString &line)
{
    errno = 0;
    const QByteArray bytes = (line + u'\n').toLocal8Bit();
    if (std::fputs(bytes.constData(), to) < 0 || std::fflush(to) != 0 || std::ferror(to))
        return errno ? errno : EIO;
    return 0;
}

CtlSession::CtlSession(SerialLink &link, const TimerFactory &makeTimer, const CtlOptions &options,
                       std::FILE *out, std::FILE *err, QObject *parent)
    : QObject(parent), m_link(link), m_options(options), m_out(out), m_err(err),
      m_run(link, makeTimer, options.commands), m_serviceWait(makeTimer()),
      m_log(m_run.exchange(), link)
{
    connect(&m_log, &TrafficLog::failed, this,
            [this](const TrafficLogFailure &f) { complain(f.text()); });
    connect(&m_run, &ScriptRun::answered, this, &CtlSession::print);
    connect(&m_run, &ScriptRun::finished, this,
            [this] { finish(m_allReplied ? CtlOptions::ExitAnswered : CtlOptions::ExitNoReply); });
    connect(&m_run, &ScriptRun::failed, this, [this](const LinkFailure &f) {
        fail(f.text(LinkFailure::Reader::Script), CtlOptions::ExitFailed);
    });
    // A restart of projectord (an upgrade, say) gives the line back in a moment: the run waits
    // for it, and the command that was in flight goes again. The device is never opened here
    // meanwhile; that would keep it from the service.
    m_serviceWait->setInterval(ServicePatience);
    connect(&link, &SerialLink::lost, this, [this](const LinkFailure &f) {
        if (f.cause != LinkFailure::Cause::ServiceGone)
            return fail(f.text(LinkFailure::Reader::Script), CtlOptions::ExitFailed);
        complain(f.text(LinkFailure::Reader::Script) + u' ' +
                 tr("projector-ctl waits up to %1 s for it to start again.")
                     .arg(ServicePatience.count()));
        m_run.pause();
        m_serviceWait->start();
    });
    connect(&link, &SerialLink::restored, this, [this] {
        m_serviceWait->stop();
        m_run.resume();
    });
    connect(m_serviceWait.get(), &IntervalTimer::timeout, this, [this] {
        fail(tr("projectord has not started again within %1 s.").arg(ServicePatience.count()),
             CtlOptions::ExitFailed);
    });
    // A raw TCP device keeps its server's speed, and projectord gives the line its own: said
    // when another speed was asked for, and the commands go all the same. A crontab's line
    // that asks for none stays quiet, in its log too.
    m_log.setSettingsAsked(options.speedAsked);
    connect(&link, &SerialLink::settingsNotApplied, this, [this](const LinkFailure &f) {
        const bool shared = f.cause == LinkFailure::Cause::LineSetByService;
        if (!m_options.speedAsked || (shared && f.lineInForce.isEmpty()) ||
            (shared && f.lineInForce == f.detail))
            return;
        complain(f.text(LinkFailure::Reader::Script));
    });
}

void CtlSession::start()
{
    if (!m_options.logFile.isEmpty()) (void)m_log.open(m_options.logFile);
    if (!m_link.applySettings(m_options.settings) || !m_link.open()) {
        failToOpen(m_link.failure());
        return;
    }
    if (!m_link.isConnecting()) {
        begin();
        return;
    }
    // Exactly one of the two follows.
    connect(&m_link, &SerialLink::opened, this, &CtlSession::begin, Qt::SingleShotConnection);
    connect(
        &m_link, &SerialLink::openFailed, this, [this](const LinkFailure &f) { failToOpen(f); },
        Qt::SingleShotConnection);
}

void CtlSession::failToOpen(const LinkFailure &failure)
{
    QString words = failure.text(LinkFailure::Reader::Script);
    // A name mistyped in a crontab's line is mended at once with the right one in sight.
    if (failure.cause == LinkFailure::Cause::NoSuchProjector && !failure.detail.isEmpty())
        words += u' ' + tr("It has: %1.").arg(failure.detail);
    fail(words, CtlOptions::ExitFailed);
}

int CtlSession::exec()
{
    QTimer::singleShot(0, this, &CtlSession::start);
    connect(this, &CtlSession::finished, QCoreApplication::instance(), &QCoreApplication::exit);
    return QCoreApplication::exec();
}

void CtlSession::begin()
{
    if (!m_done) m_run.start();
}

void CtlSession::print(const CommandResult &result)
{
    m_allReplied = m_allReplied && result.replied;
    const int error = writeLine(m_out, m_options.json ? jsonLine(result) : textLine(result));
    if (error == 0) return;
    fail(tr("Cannot write the output: %1. Nothing more is sent.")
             .arg(QString::fromLocal8Bit(std::strerror(error))),
         CtlOptions::ExitOutputFailed);
}

void CtlSession::complain(const QString &message)
{
    writeLine(m_err, QStringLiteral("projector-ctl: ") + message);
}

void CtlSession::fail(const QString &message, int exitStatus)
{
    if (m_done) return;
    complain(message);
    finish(exitStatus);
}

void CtlSession::finish(int exitStatus)
{
    if (m_done) return;
    m_done = true;
    m_run.stop();
    m_serviceWait->stop();
    m_link.close(); // gives the line back with the settings it had
    Q_EMIT finished(exitStatus);
}
