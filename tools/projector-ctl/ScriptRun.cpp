// SPDX-License-Identifier: MIT
#include "ScriptRun.h"

#include "ButtonTables.h"
#include "StatusTables.h"

#include <chrono>
#include <utility>

ScriptRun::ScriptRun(SerialLink &link, const TimerFactory &makeTimer, QList<NamedCommand> commands,
                     QObject *parent)
    : QObject(parent), m_timer2(makeTimer()), m_timer4(makeTimer()), m_commands(std::move(commands))
{
    m_timer2->setInterval(NormalReplyWindow);
    // Nothing is on a screen, so nothing needs clearing; a display clear falling due before
    // the reply window had been read would only blank what is about to be printed.
    m_timer4->setInterval(std::chrono::hours(24));
    m_exchange = std::make_unique<Exchange>(link, *m_timer2, *m_timer4);
    // After the exchange's own handler, which closes the window.
    connect(m_timer2.get(), &IntervalTimer::timeout, this, &ScriptRun::onWindowClosed);
    connect(m_exchange.get(), &Exchange::noReply, this, [this] { m_noReply = true; });
    connect(m_exchange.get(), &Exchange::sendFailed, this, &ScriptRun::failed);
}

void ScriptRun::start()
{
    m_next = 0;
    sendNext();
}

void ScriptRun::stop()
{
    m_stopped = true;
    m_timer2->stop();
    m_timer4->stop();
}

void ScriptRun::pause()
{
    m_paused = true;
    m_timer2->stop();
    m_timer4->stop();
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
        m_timer4->stop();
        Q_EMIT finished();
        return;
    }
    m_noReply = false;
    // A failed write has emitted failed() already.
    (void)m_exchange->transmit(m_commands.at(m_next).code);
}

void ScriptRun::onWindowClosed()
{
    if (m_stopped || m_timer2->isActive() || m_next == m_commands.size()) return;
    CommandResult r{
        m_commands.at(m_next++), m_exchange->display(Exchange::Display::Rxd), {}, !m_noReply};
    if (r.replied) r.status = interpretStatus(m_exchange->commandText(), r.reply);
    Q_EMIT answered(r);
    sendNext();
}
