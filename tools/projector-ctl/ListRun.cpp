// SPDX-License-Identifier: MIT
#include "ListRun.h"

#include "CtlOptions.h"
#include "CtlSession.h"
#include "Plugins.h"
#include "ServiceBus.h"
#include "StatusReads.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

DecodedStatus reading(const ServiceProjector &p)
{
    DecodedStatus d;
    d.power = powerStateNamed(p.power);
    d.input = inputSourceNamed(p.input);
    if (p.lampHours >= 0) d.lampHours = p.lampHours;
    d.orientation = orientationNamed(p.orientation);
    return d;
}

QString orDash(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("-") : value;
}

// Local time with the date: a time stays true in a pasted list or a ticket, where an age would
// not, and a projector offline for days shows how old its reading is.
QString localTime(qint64 ms)
{
    if (ms <= 0) return QStringLiteral("-");
    return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime().toString(
        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString utcTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
}

bool isWide(char32_t c)
{
    // East Asian Wide and Fullwidth, as terminals draw them.
    static constexpr std::pair<char32_t, char32_t> Wide[] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
        {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
        {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    return std::any_of(std::begin(Wide), std::end(Wide),
                       [c](const auto &r) { return c >= r.first && c <= r.second; });
}

} // namespace

ListRun::ListRun(bool json, std::FILE *out, std::FILE *err, QObject *parent)
    : QObject(parent), m_json(json), m_out(out), m_err(err)
{
}

ListRun::~ListRun() = default;

int ListRun::displayWidth(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const auto category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
            category == QChar::Other_Format)
            continue;
        width += isWide(c) ? 2 : 1;
    }
    return width;
}

QStringList ListRun::table(const QList<ServiceProjector> &projectors)
{
    QList<QStringList> rows{{tr("NAME"), tr("DEVICE"), tr("ONLINE"), tr("POWER"), tr("INPUT"),
                             tr("LAMP HOURS"), tr("READ AT")}};
    for (const ServiceProjector &p : projectors) {
        const qint64 readAt =
            std::max({p.powerReadAt, p.inputReadAt, p.lampHoursReadAt, p.orientationReadAt});
        rows.append({p.name, p.device, p.online ? tr("yes") : tr("no"), orDash(p.power),
                     orDash(p.input),
                     p.lampHours >= 0 ? QString::number(p.lampHours) : QStringLiteral("-"),
                     localTime(readAt)});
    }
    QList<int> widths(rows.first().size(), 0);
    for (const QStringList &row : std::as_const(rows))
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(row[i]));
    QStringList lines;
    for (const QStringList &row : std::as_const(rows)) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            line += row[i];
            // Two spaces between columns, none after the last.
            if (i + 1 < row.size()) line += QString(widths[i] - displayWidth(row[i]) + 2, u' ');
        }
        lines << line;
    }
    return lines;
}

QString ListRun::jsonLine(const ServiceProjector &p)
{
    // The state with projector-ctl's keys, only what has been read, each with its time.
    QJsonObject o = QJsonObject::fromVariantMap(readingFields(reading(p)));
    const std::pair<const char *, qint64> times[] = {{"power", p.powerReadAt},
                                                     {"input", p.inputReadAt},
                                                     {"lamp_hours", p.lampHoursReadAt},
                                                     {"orientation", p.orientationReadAt}};
    for (const auto &[key, ms] : times)
        if (o.contains(QLatin1String(key)) && ms > 0)
            o.insert(QLatin1String(key) + QLatin1String("_read_at"), utcTime(ms));
    o.insert(QStringLiteral("name"), p.name);
    o.insert(QStringLiteral("device"), p.device);
    o.insert(QStringLiteral("online"), p.online);
    o.insert(QStringLiteral("failure"), p.online ? QJsonValue() : QJsonValue(p.failure));
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void ListRun::start()
{
    using Cause = LinkFailure::Cause;
    // Not even loaded for a bus that is not there.
    if (!ServiceBus::mayListen())
        return onListFailed({LinkFailure::Action::Open, Cause::NoServiceBus, 0, {}, {}});
    // Qt's registry of types is torn down at exit in the reverse order of its making: made
    // here, before the bus connection's thread, it outlives that thread, which may still be
    // reading the bus's first messages as the program ends.
    qRegisterMetaType<LinkFailure>();
    QString why;
    ServiceClientFactory *clients = Plugins::serviceClients(&why);
    if (!clients)
        return onListFailed({LinkFailure::Action::Open, Cause::NoServiceClient, 0, {}, why});
    m_listing = clients->list(*this);
}

int ListRun::exec()
{
    QTimer::singleShot(0, this, &ListRun::start);
    connect(this, &ListRun::finished, QCoreApplication::instance(), &QCoreApplication::exit);
    return QCoreApplication::exec();
}

void ListRun::onListed(const QList<ServiceProjector> &projectors)
{
    QStringList lines;
    if (m_json)
        for (const ServiceProjector &p : projectors) lines << jsonLine(p);
    else
        lines = table(projectors);
    for (const QString &line : std::as_const(lines)) {
        if (const int error = CtlSession::writeLine(m_out, line)) {
            CtlSession::writeLine(m_err,
                                  QStringLiteral("projector-ctl: ") +
                                      tr("Cannot write the output: %1.")
                                          .arg(QString::fromLocal8Bit(std::strerror(error))));
            return finish(CtlOptions::ExitOutputFailed);
        }
    }
    finish(CtlOptions::ExitAnswered);
}

void ListRun::onListFailed(const LinkFailure &failure)
{
    using Cause = LinkFailure::Cause;
    QString words;
    switch (failure.cause) {
    case Cause::ServiceNotRunning:
        words = tr("projectord is not running: there are no projectors to list.");
        break;
    case Cause::NoServiceBus:
        words = ServiceBus::isSession()
                    ? tr("Cannot list the projectors: the D-Bus session bus, where projectord "
                         "is looked for, cannot be reached.")
                    : tr("Cannot list the projectors: the D-Bus system bus, where projectord is "
                         "looked for, cannot be reached.");
        break;
    case Cause::AccessDenied:
        words = tr("Cannot list the projectors: the bus policy does not let this user read "
                   "projectord's state.");
        break;
    case Cause::ServiceNotAnswering:
        words = tr("Cannot list the projectors: projectord did not answer in time.");
        break;
    case Cause::NoServiceClient:
        words = tr("Cannot list the projectors: this program's client of projectord is missing "
                   "or broken; reinstall the package: \"%1\"")
                    .arg(failure.detail);
        break;
    default:
        words = tr("Cannot list the projectors: projectord refused: \"%1\"").arg(failure.detail);
        break;
    }
    CtlSession::writeLine(m_err, QStringLiteral("projector-ctl: ") + words);
    finish(CtlOptions::ExitFailed);
}

void ListRun::finish(int exitStatus)
{
    if (m_done) return;
    m_done = true;
    // Answered from the event loop, so the listing may go now.
    QTimer::singleShot(0, this, [this] { m_listing.reset(); });
    Q_EMIT finished(exitStatus);
}
