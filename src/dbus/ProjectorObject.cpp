// SPDX-License-Identifier: MIT
#include "ProjectorObject.h"

#include "ClientNames.h"
#include "CommandNames.h"
#include "ServiceNames.h"

#include <QDBusConnection>
#include <QSocketNotifier>
#include <QStringList>

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// The interface's error names, without their common prefix.
constexpr auto UnknownCommand = "UnknownCommand";
constexpr auto InvalidLine = "InvalidLine";
constexpr auto Busy = "Busy";
constexpr auto Offline = "Offline";
constexpr auto Failed = "Failed";

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

// A client's socket from OpenLine: the service's end, and who sends on it. While the host
// cannot take a line, the one packet read is held and the socket is not read: the rest stay in
// its buffer, and once that is full the client's own sends are refused, not anyone else's.
struct ProjectorObject::OwnLine
{
    int fd = -1;
    QString client;
    QString sender;
    QSocketNotifier *notifier = nullptr;
    QByteArray held;
};

ProjectorObject::ProjectorObject(ProjectorHost &host, ClientNames &names,
                                 const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_host(host), m_names(names), m_bus(bus)
{
    connect(&m_host, &ProjectorHost::finished, this, &ProjectorObject::onFinished);
    connect(&m_host, &ProjectorHost::lineSent, this, &ProjectorObject::LineSent);
    connect(&m_host, &ProjectorHost::received, this, &ProjectorObject::Received);
    connect(&m_host, &ProjectorHost::onlineChanged, this, &ProjectorObject::announceChanges);
    connect(&m_host, &ProjectorHost::stateChanged, this, &ProjectorObject::announceChanges);
    connect(&m_host, &ProjectorHost::linesWelcome, this, &ProjectorObject::offerHeld);
    // Offline, a held packet is dropped like any line then, and its socket read again.
    connect(&m_host, &ProjectorHost::onlineChanged, this, &ProjectorObject::offerHeld);
    m_announced = changingProperties();
}

QString ProjectorObject::path() const
{
    return ServiceNames::projectorPath(m_host.config().name);
}

QString ProjectorObject::Send(const QString &command, QString &, QString &, bool &)
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
    if (!m_names.whenKnown(call.service(), this, [this, call, code](const QString &client) {
            request(call, code, client);
        }))
        refuse(call, Busy, TooManyCalls);
    return {};
}

void ProjectorObject::WriteLine(const QByteArray &line)
{
    const QDBusMessage call = message();
    setDelayedReply(true);
    const QString problem = ProjectorHost::lineProblem(line);
    if (!problem.isEmpty()) return refuse(call, InvalidLine, problem);
    if (!m_names.whenKnown(call.service(), this, [this, call, line](const QString &client) {
            writeLine(call, line, client);
        }))
        refuse(call, Busy, TooManyCalls);
}

ProjectorObject::~ProjectorObject()
{
    while (!m_lines.empty()) closeLine(m_lines.back().get());
}

QDBusUnixFileDescriptor ProjectorObject::OpenLine()
{
    const QDBusMessage call = message();
    setDelayedReply(true);
    if (!m_names.whenKnown(call.service(), this,
                           [this, call](const QString &client) { openLine(call, client); }))
        refuse(call, Busy, TooManyCalls);
    return {};
}

void ProjectorObject::openLine(const QDBusMessage &call, const QString &client)
{
    if (m_lines.size() >= std::size_t(MaxOpenLines))
        return refuse(call, Busy,
                      QStringLiteral("%1 lines of clients are open already").arg(MaxOpenLines));
    const auto own = std::count_if(m_lines.cbegin(), m_lines.cend(),
                                   [&call](const auto &l) { return l->sender == call.service(); });
    if (own >= MaxOpenLinesPerClient)
        return refuse(call, Busy,
                      QStringLiteral("this client has %1 lines open already; close one first")
                          .arg(MaxOpenLinesPerClient));
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
        return refuse(call, Failed,
                      QStringLiteral("cannot make a socket: %1").arg(qt_error_string(errno)));
    auto line = std::make_unique<OwnLine>();
    line->fd = fds[0];
    line->client = client;
    line->sender = call.service();
    line->notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    OwnLine *raw = line.get();
    connect(line->notifier, &QSocketNotifier::activated, this, [this, raw] { readPackets(raw); });
    m_lines.push_back(std::move(line));
    // The message holds a duplicate of the client's end, which is ours to close.
    m_bus.send(call.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))));
    ::close(fds[1]);
}

void ProjectorObject::readPackets(OwnLine *line)
{
    char packet[ProjectorHost::MaxLineLength + 1];
    for (int taken = 0; taken < PacketsPerTurn; ++taken) {
        // MSG_TRUNC: the packet's whole length, so that a long one is told from a fitting one.
        const ssize_t n = ::recv(line->fd, packet, sizeof packet, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // Closed by the client (or an empty packet, which no line is), or broken.
        if (n <= 0) return closeLine(line);
        if (n > ProjectorHost::MaxLineLength) return closeLine(line);
        if (!offer(line, QByteArray(packet, qsizetype(n)))) return;
    }
}

// False when the line is held or closed: nothing more is read from it for now.
bool ProjectorObject::offer(OwnLine *line, const QByteArray &packet)
{
    // Offline or a failed write: the client hears of it from Online, as every client does.
    switch (m_host.writeLine(line->client, line->sender, packet)) {
    case ProjectorHost::Refusal::InvalidLine: closeLine(line); return false;
    case ProjectorHost::Refusal::Wait:
        line->held = packet;
        line->notifier->setEnabled(false);
        return false;
    default: line->held.clear(); return true;
    }
}

// The held packets in turn until the host says wait. A socket whose packet went is read again,
// and is the last to be offered next time: m_lines is kept in that order.
void ProjectorObject::offerHeld()
{
    std::vector<OwnLine *> holding;
    for (const auto &l : m_lines)
        if (!l->held.isEmpty()) holding.push_back(l.get());
    for (OwnLine *line : holding) {
        if (!offer(line, QByteArray(line->held))) return;
        const auto it = std::find_if(m_lines.begin(), m_lines.end(),
                                     [line](const auto &l) { return l.get() == line; });
        std::rotate(it, it + 1, m_lines.end());
        line->notifier->setEnabled(true);
    }
}

void ProjectorObject::closeLine(OwnLine *line)
{
    const auto it = std::find_if(m_lines.begin(), m_lines.end(),
                                 [line](const auto &l) { return l.get() == line; });
    if (it == m_lines.end()) return;
    // Possibly within its own signal: not deleted here.
    line->notifier->setEnabled(false);
    line->notifier->deleteLater();
    ::close(line->fd);
    m_lines.erase(it);
}

void ProjectorObject::request(const QDBusMessage &call, const QString &code, const QString &client)
{
    ProjectorHost::Refusal refusal = ProjectorHost::Refusal::None;
    const quint64 id = m_host.request(client, call.service(), code, &refusal);
    if (id != 0) {
        m_pending.insert(id, call);
    } else if (refusal == ProjectorHost::Refusal::WriteFailed) {
        refuse(call, Failed, refusalText(refusal, m_host.link().failure()));
    } else {
        refuse(call, refusal == ProjectorHost::Refusal::Busy ? Busy : Offline,
               refusalText(refusal, {}));
    }
}

void ProjectorObject::writeLine(const QDBusMessage &call, const QByteArray &line,
                                const QString &client)
{
    LinkFailure failure;
    const auto refusal = m_host.writeLine(client, call.service(), line, &failure);
    switch (refusal) {
    case ProjectorHost::Refusal::None: m_bus.send(call.createReply()); return;
    case ProjectorHost::Refusal::Busy:
    case ProjectorHost::Refusal::Wait: return refuse(call, Busy, refusalText(refusal, failure));
    case ProjectorHost::Refusal::Offline:
        return refuse(call, Offline, refusalText(refusal, failure));
    case ProjectorHost::Refusal::InvalidLine:
        return refuse(call, InvalidLine, ProjectorHost::lineProblem(line));
    case ProjectorHost::Refusal::WriteFailed:
        return refuse(call, Failed, refusalText(refusal, failure));
    }
}

void ProjectorObject::onFinished(const HostResult &result)
{
    const auto it = m_pending.constFind(result.id);
    if (it == m_pending.cend()) return;
    const QDBusMessage call = *it;
    m_pending.erase(it);
    // Still waiting when the line went away, or the write itself failed.
    if (result.failure.isFailure())
        return refuse(call, m_host.isOnline() ? Failed : Offline,
                      result.failure.text(LinkFailure::Reader::Log));
    m_bus.send(call.createReply(
        {result.code, result.reply, result.status.value_or(QString()), result.answered}));
}

void ProjectorObject::refuse(const QDBusMessage &call, const char *error, const QString &message)
{
    m_bus.send(
        call.createErrorReply(QLatin1String(ServiceNames::ErrorPrefix) + QLatin1String(error),
                              QStringLiteral("%1: %2").arg(m_host.config().name, message)));
}

QString ProjectorObject::refusalText(ProjectorHost::Refusal refusal,
                                     const LinkFailure &failure) const
{
    switch (refusal) {
    case ProjectorHost::Refusal::Busy:
        return QStringLiteral("too many commands wait already, for this projector or from "
                              "this client");
    case ProjectorHost::Refusal::Wait:
        return QStringLiteral("the line is taken: a command waits for it, or another line is "
                              "still going out; nothing was sent, try again shortly");
    case ProjectorHost::Refusal::Offline: {
        const QString why =
            failure.isFailure() ? failure.text(LinkFailure::Reader::Log) : this->failure();
        return why.isEmpty() ? QStringLiteral("the line is not open") : why;
    }
    case ProjectorHost::Refusal::WriteFailed:
        return failure.isFailure() ? failure.text(LinkFailure::Reader::Log)
                                   : QStringLiteral("the line could not be written");
    // Worded from the line itself (ProjectorHost::lineProblem).
    case ProjectorHost::Refusal::InvalidLine:
    case ProjectorHost::Refusal::None: break;
    }
    return {};
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
    const QVariantMap now = changingProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (m_announced.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    m_announced = now;
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
    return m_host.isOnline() ? QString() : m_host.offlineFailure().text(LinkFailure::Reader::Log);
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
