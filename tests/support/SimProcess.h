// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The real projector-sim program as a child process. It serves a pseudo-terminal of its own
// whose path it prints first; its log of received lines goes to a file, so the pipe to us
// stays quiet and our memory figures do not include a growing pipe buffer.
class SimProcess
{
public:
    static constexpr int Patience = 5000; // ms: far beyond any answer, short enough to fail fast

    struct LogLine
    {
        qint64 us; // CLOCK_MONOTONIC when the line was read
        QByteArray text;
    };

    SimProcess() = default;
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;
    ~SimProcess() { stop(); }

    // Starts the program and takes the device path from its first line of output.
    bool start(const QStringList &args)
    {
        m_stdout.clear();
        m_stderr.clear();
        m_proc.start(QStringLiteral(PROJECTOR_SIM_PATH),
                     args + QStringList{QStringLiteral("--log"), logPath()});
        if (!m_proc.waitForStarted(Patience)) return false;
        QDeadlineTimer deadline(Patience);
        while (!m_stdout.contains('\n')) {
            if (deadline.hasExpired() || m_proc.state() != QProcess::Running) {
                m_stderr += m_proc.readAllStandardError();
                return false;
            }
            m_proc.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            m_stdout += m_proc.readAllStandardOutput();
        }
        m_device = QString::fromLocal8Bit(m_stdout.left(m_stdout.indexOf('\n')));
        return !m_device.isEmpty();
    }

    void stop()
    {
        if (m_proc.state() == QProcess::NotRunning) return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(Patience)) {
            m_proc.kill();
            m_proc.waitForFinished(Patience);
        }
    }

    QString device() const { return m_device; }
    QString logPath() const { return m_dir.filePath(QStringLiteral("sim.log")); }
    QProcess &process() { return m_proc; }

    QList<LogLine> log() const
    {
        QList<LogLine> lines;
        QFile f(logPath());
        if (!f.open(QIODevice::ReadOnly)) return lines;
        const QByteArray all = f.readAll();
        qsizetype from = 0;
        // A line still being written has no newline yet and is left for the next look.
        for (qsizetype nl = all.indexOf('\n'); nl >= 0; nl = all.indexOf('\n', from)) {
            const QByteArray line = all.mid(from, nl - from);
            from = nl + 1;
            const qsizetype space = line.indexOf(' ');
            lines.append({line.left(space).toLongLong(), line.mid(space + 1)});
        }
        return lines;
    }

    QByteArrayList lines() const
    {
        QByteArrayList texts;
        for (const LogLine &l : log())
            texts << l.text;
        return texts;
    }

    // Runs the event loop until the log holds at least `count` lines.
    bool waitForLines(qsizetype count, int timeoutMs = Patience) const
    {
        return QTest::qWaitFor([&] { return log().size() >= count; }, timeoutMs);
    }

    // Runs a plain event loop meanwhile, without the pauses of QTest::qWaitFor, so that the
    // panel's short timers keep their pace while it waits.
    bool waitForStderr(const QByteArray &needle, int timeoutMs = Patience)
    {
        const auto found = [&] {
            m_stderr += m_proc.readAllStandardError();
            return m_stderr.contains(needle);
        };
        if (found()) return true;
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        QObject::connect(&m_proc, &QProcess::readyReadStandardError, &loop, [&] {
            if (found()) loop.quit();
        });
        QObject::connect(&m_proc, &QProcess::finished, &loop, &QEventLoop::quit);
        loop.exec();
        return found();
    }

    bool waitForExit(int timeoutMs = Patience)
    {
        return QTest::qWaitFor([&] { return m_proc.state() == QProcess::NotRunning; }, timeoutMs);
    }

    QByteArray errors()
    {
        m_stderr += m_proc.readAllStandardError();
        return m_stderr;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    QByteArray m_stdout;
    QByteArray m_stderr;
    QString m_device;
};

// A path for the port the test does not use: it can never be a real serial device.
inline QString absentDevice()
{
    return QStringLiteral("/nonexistent/projector-port");
}
