// SPDX-License-Identifier: MIT
#include "ScriptRun.h"

#include <utility>

ScriptRun::ScriptRun(SerialLink &link, const TimerFactory &makeTimer, QList<NamedCommand> commands,
                     QObject *parent)
    : QObject(parent), m_windows(link, makeTimer), m_commands(std::move(commands))
{
    connect(&m_windows, &ReplyWindows::closed, this, &ScriptRun::onWindowClosed);
    connect(&m_windows.exchange(), &Exchange::sendFailed, this, &ScriptRun::failed);
}

void ScriptRun::start()
{
    m_next = 0;
    sendNext();
}

void ScriptRun::stop()
{
    m_stopped = true;
    m_windows.stop();
}

void ScriptRun::pause()
{
    m_paused = true;
    m_windows.stop();
}

void ScriptRun::resume()
{
    if (!std::exchange(m_paused, false)) return;
    sendNext();
}

void ScriptRun::sendNext()
{
    if (m_stopped || m_paused) return;
    if (m_next == m_commands.size()) {
        m_windows.stop();
        Q_EMIT finished();
        return;
    }
    // A failed write has emitted failed() already.
    (void)m_windows.exchange().transmit(m_commands.at(m_next).code);
}

void ScriptRun::onWindowClosed(const QByteArray &reply, bool replied)
{
    if (m_stopped || m_next == m_commands.size()) return;
    const NamedCommand &command = m_commands.at(m_next++);
    Q_EMIT answered({command, reply, replied, decodeReply(commandLine(command.code), reply)});
    sendNext();
}
