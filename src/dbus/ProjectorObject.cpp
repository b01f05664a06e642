// SPDX-License-Identifier: MIT
#include "ProjectorObject.h"

#include "BusMembers.h"
#include "ClientNames.h"
#include "Commands.h"
#include "OwnLines.h"
#include "ServiceNames.h"

#include <QDBusConnection>
#include <QMetaProperty>
#include <QPointer>
#include <QStringList>

#include <unistd.h>

namespace {

const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

using namespace BusMembers::Error;

// A client whose calls wait for its name to be known, too many of them.
const QString TooManyCalls = QStringLiteral("too many calls from this client wait already");

template <typename T> qlonglong readAt(const ProjectorState::Reading<T> &r)
{
    return r.isKnown() ? r.at.toMSecsSinceEpoch() : 0;
}

template <typename T> QString named(const ProjectorState::Reading<T> &r)
{
    return r.isKnown() ? QString(::name(r.value)) : QString();
}

} // namespace

ProjectorObject::ProjectorObject(ProjectorHost &host, ClientNames &names,
                                 const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_host(host), m_names(names), m_bus(bus)
{
    connect(&m_host, &ProjectorHost::finished, this, &ProjectorObject::onFinished);
    connect(&m_host, &ProjectorHost::lineSent, this, &ProjectorObject::LineSent);
    connect(&m_host, &ProjectorHost::received, this, &ProjectorObject::Received);
    connect(&m_host, &ProjectorHost::onlineChanged, this, &ProjectorObject::announceChanges);
    connect(&m_host, &ProjectorHost::stateChanged, this, &ProjectorObject::announceChanges);
    m_announced = changingProperties();
    connect(&m_names, &ClientNames::left, this, &ProjectorObject::forget);
}

QString ProjectorObject::path() const
{
    return ServiceNames::projectorPath(m_host.config().name);
}

QString ProjectorObject::Send(const QString &command, QByteArray &, bool &, QVariantMap &)
{
    const QDBusMessage call = message();
    setDelayedReply(true);
    if (command.size() > MaxCommandLength) {
        refuse(call, UnknownCommand,
               QStringLiteral("a command is a name or a three-character code, not %1 characters")
                   .arg(command.size()));
        return {};
    }
    const auto found = findCommand(command);
    if (!found) {
        refuse(
            call, UnknownCommand,
            QStringLiteral("unknown command \"%1\"; projector-ctl --help lists them").arg(command));
        return {};
    }
    const QString code = found->code;
    whenKnown(call, [call, code](ProjectorObject &self, const QString &client) {
        self.request(call, code, client);
    });
    return {};
}

void ProjectorObject::WriteLine(const QByteArray &line)
{
    const QDBusMessage call = message();
    setDelayedReply(true);
    const QString problem = lineProblem(line);
    if (!problem.isEmpty()) return refuse(call, InvalidLine, problem);
    whenKnown(call, [call, line](ProjectorObject &self, const QString &client) {
        self.writeLine(call, line, client);
    });
}

ProjectorObject::~ProjectorObject() = default;

void ProjectorObject::whenKnown(const QDBusMessage &call, Then then)
{
    // A reload may replace or remove this object while the client's name is asked for: the
    // call is answered then, not left to time out.
    const QPointer<ProjectorObject> self(this);
    const auto gone = m_gone;
    QDBusConnection bus = m_bus;
    const QString name = m_host.config().name;
    const auto run = [self, gone, bus, name, call, then](const QString &client) mutable {
        if (self) return then(*self, client);
        bus.send(call.createErrorReply(QLatin1String(Failed),
                                       QStringLiteral("%1: %2").arg(name, *gone)));
    };
    if (!m_names.whenKnown(call.service(), &m_names, run)) refuse(call, Busy, TooManyCalls);
}

QDBusUnixFileDescriptor ProjectorObject::OpenLine()
{
    const QDBusMessage call = message();
    setDelayedReply(true);
    whenKnown(call, [call](ProjectorObject &self, const QString &client) {
        self.openLine(call, client);
    });
    return {};
}

void ProjectorObject::openLine(const QDBusMessage &call, const QString &client)
{
    QString why;
    bool busy = false;
    const int theirs = m_host.lines().open(client, call.service(), &why, &busy);
    if (theirs < 0) return refuse(call, busy ? Busy : Failed, why);
    // The message holds a duplicate of the client's end, which is ours to close.
    m_bus.send(call.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(theirs))));
    ::close(theirs);
}

void ProjectorObject::request(const QDBusMessage &call, const QString &code, const QString &client)
{
    ProjectorHost::Refusal refusal = ProjectorHost::Refusal::None;
    const quint64 id = m_host.request(client, call.service(), code, &refusal);
    if (id != 0)
        m_pending.insert(id, call);
    else
        answer(call, refusal,
               refusal == ProjectorHost::Refusal::WriteFailed ? m_host.link().failure()
                                                              : LinkFailure{});
}

void ProjectorObject::writeLine(const QDBusMessage &call, const QByteArray &line,
                                const QString &client)
{
    LinkFailure failure;
    answer(call, m_host.writeLine(client, call.service(), line, &failure), failure);
}

void ProjectorObject::onFinished(const HostResult &result)
{
    const auto it = m_pending.constFind(result.id);
    if (it == m_pending.cend()) return;
    const QDBusMessage call = *it;
    m_pending.erase(it);
    answer(call, m_host.refusalOf(result), result.failure,
           {result.code, result.reply, result.answered, readingFields(result.reading)});
}

void ProjectorObject::forget(const QString &sender)
{
    m_host.forget(sender);
    for (auto it = m_pending.begin(); it != m_pending.end();)
        it = it->service() == sender ? m_pending.erase(it) : std::next(it);
}

void ProjectorObject::refuse(const QDBusMessage &call, const char *error, const QString &message)
{
    m_bus.send(call.createErrorReply(QLatin1String(error),
                                     QStringLiteral("%1: %2").arg(m_host.config().name, message)));
}

void ProjectorObject::answer(const QDBusMessage &call, ProjectorHost::Refusal refusal,
                             const LinkFailure &failure, const QList<QVariant> &values)
{
    using R = ProjectorHost::Refusal;
    if (refusal == R::None) {
        m_bus.send(call.createReply(values));
        return;
    }
    const char *error = refusal == R::Busy || refusal == R::Wait ? Busy
                        : refusal == R::Offline                  ? Offline
                        : refusal == R::InvalidLine              ? InvalidLine
                                                                 : Failed;
    refuse(call, error, m_host.refusalText(refusal, failure));
}

QVariantMap ProjectorObject::properties() const
{
    QVariantMap all;
    const QMetaObject *meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        all.insert(QLatin1String(meta->property(i).name()), meta->property(i).read(this));
    return all;
}

QVariantMap ProjectorObject::changingProperties() const
{
    return {{QStringLiteral("Online"), isOnline()},
            {QStringLiteral("Failure"), failure()},
            {QStringLiteral("Power"), power()},
            {QStringLiteral("PowerReadAt"), powerReadAt()},
            {QStringLiteral("Input"), input()},
            {QStringLiteral("InputReadAt"), inputReadAt()},
            {QStringLiteral("LampHours"), lampHours()},
            {QStringLiteral("LampHoursReadAt"), lampHoursReadAt()},
            {QStringLiteral("Orientation"), orientation()},
            {QStringLiteral("OrientationReadAt"), orientationReadAt()}};
}

// Qt's adaptors announce nothing by themselves: PropertiesChanged with what changed only.
void ProjectorObject::announceChanges()
{
    // The host may be gone before this object is; a reload retires it with a line's change.
    *m_gone = ended();
    const QVariantMap now = changingProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (m_announced.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    m_announced = now;
    announce(changed);
}

void ProjectorObject::announceSince(const QVariantMap &before)
{
    m_announced = changingProperties();
    const QVariantMap now = properties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (before.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    announce(changed);
}

void ProjectorObject::announce(const QVariantMap &changed)
{
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(path(), PropertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(ServiceNames::ProjectorInterface) << changed << QStringList();
    m_bus.send(signal);
}

QString ProjectorObject::name() const
{
    return m_host.config().name;
}

QString ProjectorObject::device() const
{
    return m_host.config().device;
}

QString ProjectorObject::lineSettings() const
{
    return m_host.config().settings.toString();
}

uint ProjectorObject::pollInterval() const
{
    return uint(m_host.config().poll.count());
}

bool ProjectorObject::isOnline() const
{
    return m_host.isOnline();
}

QString ProjectorObject::failure() const
{
    return m_host.isOnline() ? QString() : m_host.offlineText();
}

QString ProjectorObject::ended() const
{
    return m_host.refusalText(ProjectorHost::Refusal::Stopping);
}

QString ProjectorObject::power() const
{
    return named(m_host.state().power);
}

qlonglong ProjectorObject::powerReadAt() const
{
    return readAt(m_host.state().power);
}

QString ProjectorObject::input() const
{
    return named(m_host.state().input);
}

qlonglong ProjectorObject::inputReadAt() const
{
    return readAt(m_host.state().input);
}

int ProjectorObject::lampHours() const
{
    const auto &hours = m_host.state().lampHours;
    return hours.isKnown() ? hours.value : -1;
}

qlonglong ProjectorObject::lampHoursReadAt() const
{
    return readAt(m_host.state().lampHours);
}

QString ProjectorObject::orientation() const
{
    return named(m_host.state().orientation);
}

qlonglong ProjectorObject::orientationReadAt() const
{
    return readAt(m_host.state().orientation);
}
