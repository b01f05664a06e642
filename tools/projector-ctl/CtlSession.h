// SPDX-License-Identifier: MIT
#pragma once

#include "CtlOptions.h"
#include "IntervalTimer.h"
#include "ScriptRun.h"
#include "SerialLink.h"
#include "TrafficLog.h"

#include <QObject>

#include <cstdio>
#include <memory>

// One run of projector-ctl, from its first step in the event loop to its exit status: opens the
// link, sends the commands, prints a line for each, and at the first failure closes the port
// and sends nothing more.
class CtlSession final : public QObject
{
    Q_OBJECT
public:
    // How long a run waits for projectord to start again, when it stops under the run.
    static constexpr std::chrono::seconds ServicePatience{60};

    // Lines go to `out`; failures, in the reader's language, to `err`.
    CtlSession(SerialLink &link, const TimerFactory &makeTimer, const CtlOptions &options,
               std::FILE *out, std::FILE *err, QObject *parent = nullptr);

    // Opens the log and the link and sends the first command; finished() follows.
    void start();
    // Runs start() from the application's event loop until finished(), and returns the status:
    // an exit asked for before the loop runs would be lost.
    int exec();

    // 0, or the errno of a line that did not reach the file whole.
    static int writeLine(std::FILE *to, const QString &line);

Q_SIGNALS:
    void finished(int exitStatus);

private:
    void begin();
    void print(const CommandResult &result);
    void complain(const QString &message);
    void failToOpen(const LinkFailure &failure);
    void fail(const QString &message, int exitStatus);
    void finish(int exitStatus);

    SerialLink &m_link;
    CtlOptions m_options;
    std::FILE *m_out = nullptr;
    std::FILE *m_err = nullptr;
    ScriptRun m_run;
    std::unique_ptr<IntervalTimer> m_serviceWait; // for projectord to come back
    TrafficLog m_log;
    bool m_allReplied = true;
    bool m_done = false;
};
