// SPDX-License-Identifier: MIT
#include "ClientNames.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>

namespace {

const QString DaemonService = QStringLiteral("org.freedesktop.DBus");
const QString DaemonPath = QStringLiteral("/org/freedesktop/DBus");
const QString DaemonInterface = QStringLiteral("org.freedesktop.DBus");

// "PROGRAM[PID]", or an empty string when the process cannot be seen (gone, or hidden by
// /proc's mount options). A program may call itself anything: what is not printable is
// replaced, since the name goes into logs line by line.
QString programName(uint pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly)) return {};
    QString program = QString::fromUtf8(comm.read(64)).trimmed();
    for (QChar &c : program)
        if (!c.isPrint()) c = u'?';
    if (program.isEmpty()) return {};
    return QStringLiteral("%1[%2]").arg(program).arg(pid);
}

} // namespace

ClientNames::ClientNames(const QDBusConnection &bus, QObject *parent) : QObject(parent), m_bus(bus)
{
    m_bus.connect(DaemonService, DaemonPath, DaemonInterface, QStringLiteral("NameOwnerChanged"),
                  this, SLOT(onNameOwnerChanged(QString, QString, QString)));
}

bool ClientNames::whenKnown(const QString &sender, QObject *context, Call call)
{
    const auto waiting = m_waiting.find(sender);
    if (waiting == m_waiting.end()) {
        const auto known = m_known.constFind(sender);
        // A caller that is no client of the bus (a peer connection) has no name to ask for.
        if (known != m_known.cend() || m_known.size() >= MaxKnown || !sender.startsWith(u':')) {
            call(known != m_known.cend() ? *known : sender);
            return true;
        }
        m_waiting[sender].push_back({context, std::move(call)});
        resolve(sender);
        return true;
    }
    if (waiting->size() >= MaxWaiting) return false;
    waiting->push_back({context, std::move(call)});
    return true;
}

QString ClientNames::nameOf(const QString &sender) const
{
    return m_known.value(sender, sender);
}

void ClientNames::resolve(const QString &sender)
{
    QDBusMessage ask = QDBusMessage::createMethodCall(DaemonService, DaemonPath, DaemonInterface,
                                                      QStringLiteral("GetConnectionUnixProcessID"));
    ask << sender;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, sender](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusPendingReply<uint> pid = *w;
                const QString name = pid.isValid() ? programName(pid.value()) : QString();
                found(sender, name.isEmpty() ? sender : name);
            });
}

void ClientNames::found(const QString &sender, const QString &name)
{
    // Gone from the bus meanwhile: its calls were dropped, and nothing is kept for it.
    const auto waiting = m_waiting.find(sender);
    if (waiting == m_waiting.end()) return;
    const std::deque<Waiting> calls = std::move(*waiting);
    m_waiting.erase(waiting);
    m_known.insert(sender, name);
    for (const Waiting &w : calls)
        if (w.context) w.call(name);
}

void ClientNames::onNameOwnerChanged(const QString &name, const QString &oldOwner,
                                     const QString &newOwner)
{
    Q_UNUSED(oldOwner);
    if (!newOwner.isEmpty() || !name.startsWith(u':')) return;
    m_known.remove(name);
    m_waiting.remove(name);
    Q_EMIT left(name);
}
