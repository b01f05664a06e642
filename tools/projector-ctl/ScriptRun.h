// SPDX-License-Identifier: MIT
#pragma once

#include "Commands.h"
#include "ReplyWindows.h"
#include "StatusReads.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

struct CommandResult
{
    NamedCommand command;
    QByteArray reply; // what came in its reply window
    bool replied = false;
    DecodedStatus reading;
};

// Sends commands one at a time through the panel's exchange on an open link, each as the panel
// sends it, and waits out the reply window of each before the next.
class ScriptRun final : public QObject
{
    Q_OBJECT
public:
    ScriptRun(SerialLink &link, const TimerFactory &makeTimer, QList<NamedCommand> commands,
              QObject *parent = nullptr);

    Exchange &exchange() { return m_windows.exchange(); }
    void start();
    // Sends nothing more, not even from within a handler of answered().
    void stop();
    // The line went away under the command in flight: resume() sends that command again, from
    // its start, and goes on from there.
    void pause();
    void resume();

Q_SIGNALS:
    void answered(const CommandResult &result);
    void finished();
    // The line could not be written: the commands from this one on were not sent.
    void failed(const LinkFailure &failure);

private:
    void sendNext();
    void onWindowClosed(const QByteArray &reply, bool replied);

    ReplyWindows m_windows;
    QList<NamedCommand> m_commands;
    qsizetype m_next = 0;
    bool m_stopped = false;
    bool m_paused = false;
};
