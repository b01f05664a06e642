// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class DbusDaemon;

// The built projectord as a child process on a DbusDaemon's bus, which it takes for the system
// bus. start() returns once the service's name has appeared on the bus.
class ProjectordProcess
{
public:
    static constexpr int Patience = 10000; // ms

    explicit ProjectordProcess(DbusDaemon &bus) : m_bus(bus) {}
    ~ProjectordProcess() { stop(); }
    ProjectordProcess(const ProjectordProcess &) = delete;
    ProjectordProcess &operator=(const ProjectordProcess &) = delete;

    // Writes `config` to a file, runs projectord on it and waits for its bus name, told by
    // NameOwnerChanged. False when the program ended first or the name did not come.
    bool start(const QByteArray &config, const QStringList &moreArgs = {});
    // SIGTERM, and the wait for the exit.
    void stop();
    // Sends the signal `number` and returns at once.
    void signal(int number);
    // Whether the program has ended within `timeoutMs`.
    bool waitForExit(int timeoutMs = Patience);

    QString configPath() const { return m_dir.filePath(QStringLiteral("projectord.conf")); }
    QProcess &process() { return m_proc; }
    // Its log so far.
    QByteArray errors();

private:
    DbusDaemon &m_bus;
    QTemporaryDir m_dir;
    QProcess m_proc;
    QByteArray m_errors;
};
