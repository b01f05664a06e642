// SPDX-License-Identifier: MIT
#include "ProjectorHost.h"

#include "ButtonTables.h"
#include "StatusTables.h"

#include <algorithm>
#include <array>
#include <utility>

using namespace std::chrono_literals;

const QString ProjectorHost::OwnClient = QStringLiteral("projectord");

namespace {
constexpr std::array<const char *, 4> PollCodes{"CR0", "CR1", "CR3", "CR4"};
} // namespace

ProjectorHost::ProjectorHost(ProjectorConfig config, std::unique_ptr<SerialLink> link,
                             const TimerFactory &timers, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_link(std::move(link)), m_timer2(timers()),
      m_timer4(timers()), m_pollTimer(timers())
{
    m_timer2->setInterval(NormalReplyWindow);
    // Nothing is on a screen to clear; it is stopped after every window, so that no timer runs
    // between polls.
    m_timer4->setInterval(24h);
    m_exchange = std::make_unique<Exchange>(*m_link, *m_timer2, *m_timer4);
    // After the exchange's own handler, which closes the window.
    connect(m_timer2.get(), &IntervalTimer::timeout, this, &ProjectorHost::onWindowClosed);
    connect(m_exchange.get(), &Exchange::noReply, this, [this] { m_noReply = true; });
    connect(m_exchange.get(), &Exchange::charactersReceived, this, &ProjectorHost::onReceived);
    connect(m_pollTimer.get(), &IntervalTimer::timeout, this, &ProjectorHost::poll);

    SerialLink *l = m_link.get();
    connect(l, &SerialLink::opened, this, [this] { setOnline(true); });
    connect(l, &SerialLink::restored, this, [this] { setOnline(true); });
    connect(l, &SerialLink::openFailed, this,
            [this](const LinkFailure &f) { setOnline(false, f); });
    connect(l, &SerialLink::lost, this, [this](const LinkFailure &f) { setOnline(false, f); });
    connect(l, &SerialLink::closed, this, [this] { setOnline(false); });
    m_offline = notOpen();
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

bool ProjectorHost::isOnline() const
{
    return m_online;
}

quint64 ProjectorHost::request(const QString &client, const QString &code, Refusal *refusal)
{
    return request(client, client, code, refusal);
}

quint64 ProjectorHost::request(const QString &client, const QString &sender, const QString &code,
                               Refusal *refusal)
{
    const auto refuse = [refusal](Refusal why) -> quint64 {
        if (refusal) *refusal = why;
        return 0;
    };
    if (refusal) *refusal = Refusal::None;
    if (!m_online) return refuse(Refusal::Offline);
    if (m_queue.size() >= std::size_t(MaxQueued)) return refuse(Refusal::Busy);
    const auto fromClient = std::count_if(m_queue.begin(), m_queue.end(),
                                          [&](const Pending &p) { return p.sender == sender; });
    if (fromClient >= MaxQueuedPerClient) return refuse(Refusal::Busy);

    Pending command{m_nextId++, client, sender, code};
    if (!m_current && !m_timer2->isActive() && m_queue.empty()) {
        if (!send(command)) return refuse(Refusal::WriteFailed);
        return command.id;
    }
    m_queue.push_back(std::move(command));
    return m_queue.back().id;
}

QString ProjectorHost::lineProblem(const QByteArray &line)
{
    if (line.isEmpty()) return QStringLiteral("the line is empty");
    if (line.size() > MaxLineLength)
        return QStringLiteral("the line is %1 bytes long; at most %2 are sent")
            .arg(line.size())
            .arg(MaxLineLength);
    for (const char c : line)
        if (static_cast<unsigned char>(c) > 0x7F)
            return QStringLiteral("the line holds the byte 0x%1; only bytes up to 0x7f are sent")
                .arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
    return {};
}

ProjectorHost::Refusal ProjectorHost::writeLine(const QString &client, const QString &sender,
                                                const QByteArray &line, LinkFailure *failure)
{
    if (!lineProblem(line).isEmpty()) return Refusal::InvalidLine;
    if (!m_online) {
        if (failure) *failure = m_offline;
        return Refusal::Offline;
    }
    // What the command whose window this line takes over has got so far.
    std::optional<Pending> taken = std::exchange(m_current, std::nullopt);
    const bool replied = m_windowReplied;
    const QString trace =
        replied ? m_exchange->display(Exchange::Display::Rxd) : Exchange::NoReplyMark;
    if (!send(client, sender, line, std::nullopt, failure)) {
        m_current = std::move(taken);
        return Refusal::WriteFailed;
    }
    if (taken) {
        const QString commandText = taken->code + QChar(13);
        if (replied) record(commandText, trace);
        conclude(*taken, {0,
                          {},
                          trace,
                          replied ? interpretStatus(commandText, trace) : std::nullopt,
                          replied,
                          {}});
    }
    return Refusal::None;
}

// Writes a line and opens its reply window, which `sender` owns; `command` becomes the current
// one. False, with nothing changed, when the write failed.
bool ProjectorHost::send(const QString &client, const QString &sender, const QByteArray &line,
                         std::optional<Pending> command, LinkFailure *failure)
{
    const bool written = command ? m_exchange->transmit(QLatin1StringView(command->code.toLatin1()))
                                 : m_exchange->hyouji(QString::fromLatin1(line));
    if (!written) {
        if (failure) *failure = m_link->failure();
        return false;
    }
    m_current = std::move(command);
    m_windowOwner = sender;
    m_windowLine = QString::fromLatin1(line);
    m_windowReplied = false;
    m_noReply = false;
    Q_EMIT lineSent(line, client, sender);
    return true;
}

bool ProjectorHost::send(Pending command, LinkFailure *failure)
{
    const QByteArray line = command.code.toLatin1() + '\r';
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
    while (m_online && !m_current && !m_timer2->isActive() && !m_queue.empty()) {
        Pending next = std::move(m_queue.front());
        m_queue.pop_front();
        LinkFailure failure;
        if (!send(next, &failure)) conclude(next, {0, {}, {}, std::nullopt, false, failure});
    }
}

void ProjectorHost::onWindowClosed()
{
    if (m_timer2->isActive()) return;
    m_timer4->stop();
    const QString trace = m_exchange->display(Exchange::Display::Rxd);
    const bool replied = !m_noReply;
    const QString line = std::exchange(m_windowLine, QString());
    m_windowOwner.clear();
    m_windowReplied = false;
    if (replied) record(line, trace);
    if (const std::optional<Pending> done = std::exchange(m_current, std::nullopt))
        conclude(
            *done,
            {0, {}, trace, replied ? interpretStatus(line, trace) : std::nullopt, replied, {}});
    pump();
    if (m_pollStep >= 0 && m_pollId == 0 && !m_pollTimer->isActive()) poll();
}

void ProjectorHost::onReceived(const QString &characters)
{
    // Late characters leave these as the window's close left them: nobody's, and unseen by the
    // next line, which resets them.
    m_windowReplied = true;
    Q_EMIT received(characters.toLatin1(), m_windowOwner);
}

// The next status read, when the line has been quiet for a reply window.
void ProjectorHost::poll()
{
    m_pollTimer->stop();
    if (!m_online || m_config.poll.count() <= 0) return;
    if (m_pollStep < 0) m_pollStep = 0;
    if (m_current || m_timer2->isActive() || !m_queue.empty()) {
        m_pollTimer->setInterval(NormalReplyWindow);
        m_pollTimer->start();
        return;
    }
    Pending read{
        m_nextId++, OwnClient, {}, QLatin1String(PollCodes.at(std::size_t(m_pollStep))), true};
    m_pollId = read.id;
    if (!send(read)) {
        // The line is failing: the round waits for its next turn, or for the line's return.
        m_pollId = 0;
        m_pollStep = -1;
        m_pollTimer->setInterval(m_config.poll);
        m_pollTimer->start();
    }
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
    for (const Pending &p : std::exchange(m_queue, {}))
        conclude(p, {0, {}, {}, std::nullopt, false, m_offline});
}

void ProjectorHost::record(const QString &commandText, const QString &replyTrace)
{
    const DecodedStatus d = decodeStatus(commandText, replyTrace);
    if (d.isEmpty()) return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    bool changed = false;
    const auto update = [&](auto &reading, const auto &value) {
        if (!value || (reading.value == *value && reading.at == now)) return;
        reading.value = *value;
        reading.at = now;
        changed = true;
    };
    update(m_state.power, d.power);
    update(m_state.input, d.input);
    update(m_state.lampHours, d.lampHours);
    update(m_state.orientation, d.orientation);
    if (changed) Q_EMIT stateChanged();
}
