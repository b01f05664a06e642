// SPDX-License-Identifier: MIT
#include "ProjectordProcess.h"

#include "DbusDaemon.h"
#include "DieWithParent.h"
#include "ServiceNames.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QTest>

#include <csignal>

bool ProjectordProcess::start(const QByteArray &config, const QStringList &moreArgs)
{
    QFile file(configPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) return false;
    file.close();

    QDBusConnection watch = m_bus.connect(QStringLiteral("projectord-launcher"));
    const QString name = QLatin1String(ServiceNames::BusName);
    QDBusServiceWatcher watcher(name, watch, QDBusServiceWatcher::WatchForRegistration);
    bool appeared = false;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &watcher,
                     [&] { appeared = true; });
    // A round trip after the watch is set up: the bus has taken the watch before the program
    // can claim the name.
    if (watch.interface()->isServiceRegistered(name)) return false;

    m_proc.setProcessEnvironment(m_bus.environment());
    m_proc.setChildProcessModifier(dieWithParent);
    m_proc.start(QStringLiteral(PROJECTORD_PATH), QStringList{"--config", configPath()} + moreArgs);
    return QTest::qWaitFor([&] { return appeared || m_proc.state() == QProcess::NotRunning; },
                           Patience) &&
           appeared;
}

void ProjectordProcess::stop()
{
    if (m_proc.state() == QProcess::NotRunning) return;
    m_proc.terminate();
    if (!m_proc.waitForFinished(Patience)) {
        m_proc.kill();
        m_proc.waitForFinished(Patience);
    }
}

void ProjectordProcess::signal(int number)
{
    if (m_proc.state() != QProcess::NotRunning) ::kill(pid_t(m_proc.processId()), number);
}

bool ProjectordProcess::waitForExit(int timeoutMs)
{
    return m_proc.state() == QProcess::NotRunning || m_proc.waitForFinished(timeoutMs);
}

QByteArray ProjectordProcess::errors()
{
    m_errors += m_proc.readAllStandardError();
    return m_errors;
}
