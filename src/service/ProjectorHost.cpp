// SPDX-License-Identifier: MIT
#include "ProjectorHost.h"

#include "OwnLines.h"

#include <algorithm>
#include <array>
#include <utility>

const QString ProjectorHost::OwnClient = QStringLiteral("projectord");

namespace {
// Every window the host opens is the panel's normal one, whatever the code. A command's turn at
// worst: it waits one window while raw lines go, the raw window open then runs out, and its own.
constexpr std::chrono::milliseconds Turn = 3 * ReplyWindow;

// How long the wire carries `bytes`: a start bit, the data bits, a parity bit, the stop bits.
std::chrono::milliseconds onTheWire(qsizetype bytes, const LineSettings &s)
{
    const qint64 bits = bytes * (1 + s.dataBits + (s.parity == 'N' ? 0 : 1) + s.stopBits);
    const qint64 baud = std::max<qint64>(s.baud, 1);
    return std::chrono::milliseconds((bits * 1000 + baud - 1) / baud);
}
} // namespace

const int ProjectorHost::MaxQueued = int((MaxWait - ReplyWindow) / Turn);

std::chrono::milliseconds ProjectorHost::worstWait(int ahead)
{
    return ReplyWindow + (ahead + 1) * Turn;
}

ProjectorHost::ProjectorHost(ProjectorConfig config, std::unique_ptr<SerialLink> link,
                             const TimerFactory &timers, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_link(std::move(link)), m_pollTimer(timers()),
      m_turnTimer(timers()), m_paceTimer(timers()),
      m_windows(std::make_unique<ReplyWindows>(*m_link, timers))
{
    m_turnTimer->setInterval(ReplyWindow);
    connect(m_windows.get(), &ReplyWindows::closed, this, &ProjectorHost::onWindowClosed);
    connect(&m_windows->exchange(), &Exchange::charactersReceived, this,
            &ProjectorHost::onReceived);
    connect(m_pollTimer.get(), &IntervalTimer::timeout, this, &ProjectorHost::poll);
    connect(m_turnTimer.get(), &IntervalTimer::timeout, this, [this] {
        m_turnTimer->stop();
        m_headOwed = true;
        m_yielding = false;
        pump();
    });
    connect(m_paceTimer.get(), &IntervalTimer::timeout, this, [this] {
        m_paceTimer->stop();
        welcomeIfFree();
    });

    SerialLink *l = m_link.get();
    connect(l, &SerialLink::opened, this, [this] { setOnline(true); });
    connect(l, &SerialLink::restored, this, [this] { setOnline(true); });
    connect(l, &SerialLink::openFailed, this,
            [this](const LinkFailure &f) { setOnline(false, f); });
    connect(l, &SerialLink::lost, this, [this](const LinkFailure &f) { setOnline(false, f); });
    connect(l, &SerialLink::closed, this, [this] { setOnline(false); });
    m_offline = notOpen();
    m_lines = std::make_unique<OwnLines>(*this);
}

ProjectorHost::~ProjectorHost()
{
    // The link outlives this object's own members; it must not call back into them.
    disconnect(m_link.get(), nullptr, this, nullptr);
}

void ProjectorHost::start()
{
    (void)m_link->applySettings(m_config.settings);
    // Not open yet: opened() or openFailed() follows, or the link waits for the device.
    if (!m_link->openAndWait())
        setOnline(false, m_link->failure());
    else if (m_link->isOpen())
        setOnline(true);
}

LinkFailure ProjectorHost::notOpen() const
{
    return {LinkFailure::Action::Open,
            LinkFailure::Cause::NotOpen,
            m_link->portNumber(),
            m_link->deviceName(),
            {}};
}

quint64 ProjectorHost::request(const QString &client, const QString &sender, const QString &code,
                               Refusal *refusal)
{
    const auto refuse = [refusal](Refusal why) -> quint64 {
        if (refusal) *refusal = why;
        return 0;
    };
    if (refusal) *refusal = Refusal::None;
    if (!m_online || m_stopping) return refuse(Refusal::Offline);
    if (m_queue.size() >= std::size_t(MaxQueued)) return refuse(Refusal::Busy);
    const auto fromClient = std::count_if(m_queue.begin(), m_queue.end(),
                                          [&](const Pending &p) { return p.sender == sender; });
    if (fromClient >= MaxQueuedPerClient) return refuse(Refusal::Busy);

    Pending command{m_nextId++, client, sender, code};
    if (!m_current && !m_windows->isOpen() && m_queue.empty()) {
        if (!send(command)) return refuse(Refusal::WriteFailed);
        return command.id;
    }
    m_queue.push_back(std::move(command));
    schedule();
    return m_queue.back().id;
}

ProjectorHost::Refusal ProjectorHost::writeLine(const QString &client, const QString &sender,
                                                const QByteArray &line, LinkFailure *failure)
{
    if (!lineProblem(line).isEmpty()) return Refusal::InvalidLine;
    if (!m_online || m_stopping) {
        if (failure) *failure = m_offline;
        return Refusal::Offline;
    }
    if (rawLinesWait()) {
        m_linesHeld = true;
        return Refusal::Wait;
    }
    // What the command whose window this line takes over has got so far.
    std::optional<Pending> taken = std::exchange(m_current, std::nullopt);
    const bool replied = m_windowReplied;
    const QByteArray reply = replied ? m_windows->exchange().replyText().toLatin1() : QByteArray();
    const QByteArray takenLine = m_windowLine;
    if (!send(client, sender, line, std::nullopt, failure)) {
        m_current = std::move(taken);
        return Refusal::WriteFailed;
    }
    m_yielding = false;
    m_paceTimer->setInterval(onTheWire(line.size(), m_config.settings));
    m_paceTimer->start();
    if (taken) {
        HostResult got;
        got.reply = reply;
        got.answered = replied;
        if (replied) got.reading = record(takenLine, reply);
        conclude(*taken, got);
    }
    schedule();
    return Refusal::None;
}

ProjectorHost::Refusal ProjectorHost::refusalOf(const HostResult &result) const
{
    if (result.stopping) return Refusal::Stopping;
    if (!result.failure.isFailure()) return Refusal::None;
    return m_online ? Refusal::WriteFailed : Refusal::Offline;
}

bool ProjectorHost::rawLinesWait() const
{
    return m_paceTimer->isActive() || m_headOwed || (m_current && m_current->owed);
}

// The first command waits for its turn while no command of the clients holds the line.
void ProjectorHost::schedule()
{
    if (m_queue.empty()) {
        m_turnTimer->stop();
        m_headOwed = false;
        m_yielding = false;
    } else if (!m_headOwed && !m_turnTimer->isActive() && !(m_current && !m_current->own)) {
        m_turnTimer->start();
    }
}

void ProjectorHost::welcomeIfFree()
{
    if (!m_linesHeld || m_stopping || rawLinesWait()) return;
    m_linesHeld = false;
    Q_EMIT linesWelcome();
}

void ProjectorHost::forget(const QString &sender)
{
    // The service's own reads have no sender.
    if (sender.isEmpty()) return;
    // The first command's turn passes to the next one with what it has waited.
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [&](const Pending &p) { return p.sender == sender; }),
                  m_queue.end());
    schedule();
    welcomeIfFree();
}

void ProjectorHost::shutDown(Ending why)
{
    m_stopping = true;
    m_ending = why;
    for (IntervalTimer *t : {m_pollTimer.get(), m_turnTimer.get(), m_paceTimer.get()}) t->stop();
    m_windows->stop();
    m_pollStep = -1;
    m_pollId = 0;
    m_windowOwner.clear();
    m_windowLine.clear();
    HostResult stopped;
    stopped.stopping = true;
    if (const std::optional<Pending> cut = std::exchange(m_current, std::nullopt))
        conclude(*cut, stopped);
    for (const Pending &p : std::exchange(m_queue, {})) conclude(p, stopped);
    schedule();
}

void ProjectorHost::retire(Ending why)
{
    shutDown(why);
    disconnect(m_link.get(), nullptr, this, nullptr);
    m_link->close();
    m_online = false;
    Q_EMIT onlineChanged(false);
}

// Writes a line and opens its reply window, which `sender` owns; `command` becomes the current
// one. False, with nothing changed, when the write failed.
bool ProjectorHost::send(const QString &client, const QString &sender, const QByteArray &line,
                         std::optional<Pending> command, LinkFailure *failure)
{
    Exchange &exchange = m_windows->exchange();
    const bool written = command ? exchange.transmit(QLatin1StringView(command->code.toLatin1()))
                                 : exchange.hyouji(QString::fromLatin1(line));
    if (!written) {
        if (failure) *failure = m_link->failure();
        return false;
    }
    m_current = std::move(command);
    m_windowOwner = sender;
    m_windowLine = line;
    m_windowReplied = false;
    // Whichever front sent it, and whether as a command or a raw line.
    const MuteState before = m_mutes;
    applyMuteLine(m_mutes, line);
    Q_EMIT lineSent(line, client, sender);
    if (!(m_mutes == before)) Q_EMIT mutesChanged();
    return true;
}

bool ProjectorHost::send(Pending command, LinkFailure *failure)
{
    const QByteArray line = commandLine(command.code.toLatin1());
    const QString client = command.client, sender = command.sender;
    return send(client, sender, line, std::move(command), failure);
}

void ProjectorHost::conclude(const Pending &command, HostResult result)
{
    result.id = command.id;
    result.code = command.code;
    if (!command.own) {
        Q_EMIT finished(result);
        return;
    }
    if (m_stopping) return;
    // A read from before the line was lost belongs to no round.
    if (command.id != m_pollId) return;
    m_pollId = 0;
    if (++m_pollStep < int(PollCodes.size())) return;
    m_pollStep = -1;
    m_pollTimer->setInterval(m_config.poll);
    m_pollTimer->start();
}

void ProjectorHost::pump()
{
    while (m_online && !m_stopping && !m_yielding && !m_current && !m_windows->isOpen() &&
           !m_queue.empty()) {
        Pending next = std::move(m_queue.front());
        m_queue.pop_front();
        next.owed = std::exchange(m_headOwed, false);
        m_turnTimer->stop();
        LinkFailure failure;
        if (!send(next, &failure)) {
            HostResult unsent;
            unsent.failure = failure;
            conclude(next, unsent);
        }
    }
}

void ProjectorHost::onWindowClosed(const QByteArray &reply, bool answered)
{
    const QByteArray line = std::exchange(m_windowLine, QByteArray());
    m_windowOwner.clear();
    m_windowReplied = false;
    HostResult got;
    got.reply = reply;
    got.answered = answered;
    if (answered) got.reading = record(line, reply);
    const std::optional<Pending> done = std::exchange(m_current, std::nullopt);
    // Raw lines held back by a command that waited its turn go before the next command.
    const bool yield = done && done->owed && m_linesHeld;
    if (done) conclude(*done, got);
    if (yield && !m_queue.empty()) m_yielding = true;
    readBackAfter(line);
    schedule();
    welcomeIfFree();
    pump();
    const bool roundWaits = m_pollStep >= 0 && m_pollId == 0 && !m_pollTimer->isActive();
    if (done && done->own) {
        if (roundWaits) poll();
    } else if (roundWaits ||
               (m_pollTimer->isActive() && m_pollTimer->remainingTime() < ReplyWindow)) {
        // A client's next line of a sequence follows its window's close at once: a status read
        // slipped in between would take that line's reply. The poll waits a quiet window.
        m_pollTimer->setInterval(ReplyWindow);
        m_pollTimer->start();
    }
}

void ProjectorHost::onReceived(const QString &characters)
{
    // Late characters leave these as the window's close left them: nobody's, and unseen by the
    // next line, which resets them.
    m_windowReplied = true;
    Q_EMIT received(characters.toLatin1(), m_windowOwner);
}

void ProjectorHost::setOnline(bool online, const LinkFailure &why)
{
    const LinkFailure before = std::exchange(m_offline, online            ? LinkFailure{}
                                                        : why.isFailure() ? why
                                                                          : notOpen());
    if (online == m_online) {
        if (!online && !(m_offline == before)) Q_EMIT onlineChanged(false);
        return;
    }
    m_online = online;
    Q_EMIT onlineChanged(online);
    if (online) {
        poll();
        return;
    }
    m_pollTimer->stop();
    m_pollStep = -1;
    m_pollId = 0;
    // Nothing of these was sent; they are not kept for as long as the line may be gone.
    HostResult unsent;
    unsent.failure = m_offline;
    for (const Pending &p : std::exchange(m_queue, {})) conclude(p, unsent);
    schedule();
    welcomeIfFree();
}
