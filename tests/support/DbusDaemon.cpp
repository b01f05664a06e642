// SPDX-License-Identifier: MIT
#include "DbusDaemon.h"

#include "DieWithParent.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSet>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

// The groups the bus daemon counts the user in: from the user database, as it looks them up.
QSet<gid_t> groupsOf(const passwd &user)
{
    int count = 64;
    std::vector<gid_t> groups(size_t(count), 0);
    if (getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) < 0) {
        groups.resize(size_t(count));
        getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count);
    }
    groups.resize(size_t(count));
    return {groups.begin(), groups.end()};
}

// The user's own group, or a group of the system that the user is not in.
QString chooseGroup(const passwd &user, DbusDaemon::Sender sender)
{
    if (sender == DbusDaemon::Sender::Member) {
        const group *own = getgrgid(user.pw_gid);
        return own ? QString::fromLocal8Bit(own->gr_name) : QString();
    }
    const QSet<gid_t> in = groupsOf(user);
    QString chosen;
    setgrent();
    while (const group *g = getgrent()) {
        if (!in.contains(g->gr_gid)) {
            chosen = QString::fromLocal8Bit(g->gr_name);
            break;
        }
    }
    endgrent();
    return chosen;
}

// As /usr/share/dbus-1/system.conf has it: anyone may connect, method calls are refused unless
// a policy allows them, the bus daemon itself answers everyone.
constexpr auto BusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <include>%2</include>
</busconfig>
)";

} // namespace

DbusDaemon::DbusDaemon(Sender sender)
{
    if (const passwd *user = getpwuid(geteuid())) {
        m_group = chooseGroup(*user, sender);
        QFile shipped(QStringLiteral(PANEL_DBUS_POLICY));
        QFile policy(m_dir.filePath(QStringLiteral("policy.conf")));
        if (!m_group.isEmpty() && shipped.open(QIODevice::ReadOnly) &&
            policy.open(QIODevice::WriteOnly))
            policy.write(
                QString::fromUtf8(shipped.readAll())
                    .replace(QLatin1String("group=\"dialout\""),
                             QStringLiteral("group=\"%1\"").arg(m_group))
                    // Root may send: a test run as root gets only what the group gives.
                    .replace(QLatin1String("user=\"root\""), QLatin1String("user=\"nobody\""))
                    .replace(
                        QLatin1String("user=\"projectord\""),
                        QStringLiteral("user=\"%1\"").arg(QString::fromLocal8Bit(user->pw_name)))
                    .toUtf8());
    }
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    if (config.open(QIODevice::WriteOnly))
        config.write(QString::fromLatin1(BusConfig)
                         .arg(m_dir.filePath(QStringLiteral("socket")),
                              m_dir.filePath(QStringLiteral("policy.conf")))
                         .toUtf8());
}

DbusDaemon::~DbusDaemon()
{
    for (const QString &name : qAsConst(m_connections)) QDBusConnection::disconnectFromBus(name);
    if (m_proc.state() == QProcess::NotRunning) return;
    m_proc.kill();
    m_proc.waitForFinished(Patience);
}

bool DbusDaemon::start()
{
    if (m_group.isEmpty()) {
        m_errors = QStringLiteral("no group to put in the policy");
        return false;
    }
    m_proc.setChildProcessModifier(dieWithParent);
    m_proc.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                  QStringLiteral("--config-file=") + m_dir.filePath(QStringLiteral("bus.conf"))});
    const QDeadlineTimer deadline(Patience);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired() && m_proc.state() != QProcess::NotRunning)
        if (m_proc.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            out += m_proc.readAllStandardOutput();
    m_errors = QString::fromLocal8Bit(m_proc.readAllStandardError());
    if (!out.contains('\n')) return false;
    m_address = QString::fromLocal8Bit(out.left(out.indexOf('\n')));
    return true;
}

void DbusDaemon::kill()
{
    m_proc.kill();
    m_proc.waitForFinished(Patience);
}

QDBusConnection DbusDaemon::connect(const QString &name)
{
    // Qt shares connections by name across the process: the address keeps each bus's apart.
    m_connections.append(name + u'@' + m_address);
    return QDBusConnection::connectToBus(m_address, m_connections.last());
}

QProcessEnvironment DbusDaemon::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    env.insert(QStringLiteral("PROJECTORD_RUNTIME_DIR"), runDirectory());
    // As if not started by systemd, even where the tests are: projectord makes its own.
    env.remove(QStringLiteral("RUNTIME_DIRECTORY"));
    return env;
}

void DbusDaemon::useInThisProcess() const
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toLocal8Bit());
    qputenv("PROJECTORD_RUNTIME_DIR", QFile::encodeName(runDirectory()));
}

QString DbusDaemon::runDirectory() const
{
    return m_dir.filePath(QStringLiteral("projectord"));
}
