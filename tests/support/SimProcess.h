// SPDX-License-Identifier: MIT
#pragma once

#include "DieWithParent.h"

#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The real projector-sim program as a child process. It serves a pseudo-terminal of its own
// whose path it prints first. Its log of received lines goes to a file, so the pipe to us stays
// quiet and our memory figures do not include a growing pipe buffer; or, as the program does
// by default, to its standard output.
class SimProcess
{
public:
    static constexpr int Patience = 5000; // ms: far beyond any answer, short enough to fail fast
    enum class LogTo { File, Stdout };

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
    bool start(const QStringList &args, LogTo logTo = LogTo::File)
    {
        m_logTo = logTo;
        m_stdout.clear();
        m_stderr.clear();
        m_proc.setChildProcessModifier(dieWithParent);
        m_proc.start(QStringLiteral(PROJECTOR_SIM_PATH),
                     logTo == LogTo::File ? args + QStringList{QStringLiteral("--log"), logPath()}
                                          : args);
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
        const qsizetype nl = m_stdout.indexOf('\n');
        m_device = QString::fromLocal8Bit(m_stdout.left(nl));
        m_stdout.remove(0, nl + 1);
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

    QList<LogLine> log()
    {
        QByteArray all;
        if (m_logTo == LogTo::Stdout) {
            m_stdout += m_proc.readAllStandardOutput();
            all = m_stdout;
        } else if (QFile f(logPath()); f.open(QIODevice::ReadOnly)) {
            all = f.readAll();
        }
        QList<LogLine> lines;
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

    QByteArrayList lines()
    {
        QByteArrayList texts;
        for (const LogLine &l : log()) texts << l.text;
        return texts;
    }

    // Runs the event loop until the log holds at least `count` lines.
    bool waitForLines(qsizetype count, int timeoutMs = Patience)
    {
        return QTest::qWaitFor([&] { return log().size() >= count; }, timeoutMs);
    }

    // Whether the channel's output (after the device path) holds `needle` within the time.
    // Runs a plain event loop meanwhile, without the pauses of QTest::qWaitFor, so that the
    // panel's short timers keep their pace while it waits.
    bool waitFor(QProcess::ProcessChannel channel, const QByteArray &needle,
                 int timeoutMs = Patience)
    {
        const bool out = channel == QProcess::StandardOutput;
        const auto found = [&] {
            QByteArray &buffer = out ? m_stdout : m_stderr;
            buffer += out ? m_proc.readAllStandardOutput() : m_proc.readAllStandardError();
            return buffer.contains(needle);
        };
        if (found()) return true;
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        QObject::connect(
            &m_proc, out ? &QProcess::readyReadStandardOutput : &QProcess::readyReadStandardError,
            &loop, [&] {
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
    LogTo m_logTo = LogTo::File;
    QByteArray m_stdout;
    QByteArray m_stderr;
    QString m_device;
};

// A path for the port the test does not use: it can never be a real serial device.
inline QString absentDevice()
{
    return QStringLiteral("/nonexistent/projector-port");
}
