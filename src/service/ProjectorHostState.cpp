// SPDX-License-Identifier: MIT
// What the host reads of the projector by itself and keeps, and how it words what it refuses.
#include "ProjectorHost.h"

#include <algorithm>

namespace {
// The status read that shows what a line changed: power and input change at once (warming up),
// and waiting for the next poll would show the old state for as long as it lasts.
const char *readBackFor(QByteArrayView line)
{
    if (line.endsWith('\r')) line.chop(1);
    for (const char *code : {Code::PowerOn, Code::PowerOff})
        if (line == code) return Code::ReadPower;
    for (const char *code : {Code::InputComputer1, Code::InputComputer2, Code::InputVideo})
        if (line == code) return Code::ReadInput;
    return nullptr;
}
} // namespace

// Queued like a client's command, so that it neither jumps the line nor takes another's reply;
// at most one of each, and none where the configuration wants no status reads.
void ProjectorHost::readBackAfter(QByteArrayView line)
{
    const char *read = readBackFor(line);
    if (!read) return;
    const QString code = QLatin1String(read);
    if (m_stopping || !m_online || m_config.poll.count() <= 0 ||
        m_queue.size() >= std::size_t(MaxQueued))
        return;
    if (std::any_of(m_queue.cbegin(), m_queue.cend(),
                    [&](const Pending &p) { return p.own && p.code == code; }))
        return;
    m_queue.push_back({m_nextId++, OwnClient, {}, code, true});
}

// The next status read, when the line has been quiet for a reply window.
void ProjectorHost::poll()
{
    m_pollTimer->stop();
    if (!m_online || m_stopping || m_config.poll.count() <= 0) return;
    if (m_pollStep < 0) m_pollStep = 0;
    if (m_current || m_windows->isOpen() || !m_queue.empty()) {
        m_pollTimer->setInterval(ReplyWindow);
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

DecodedStatus ProjectorHost::record(const QByteArray &line, const QByteArray &reply)
{
    const DecodedStatus d = decodeReply(line, reply);
    if (d.isEmpty()) return d;
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
    return d;
}

QString ProjectorHost::refusalText(Refusal refusal, const LinkFailure &failure) const
{
    const QString why =
        failure.isFailure() ? failure.text(LinkFailure::Reader::Service) : QString();
    switch (refusal) {
    case Refusal::None: break;
    case Refusal::Busy:
        return QStringLiteral("too many commands wait already, for this projector or from this "
                              "client");
    case Refusal::Wait:
        return QStringLiteral("the line is taken: a command waits for it, or another line is "
                              "still going out; nothing was sent, try again shortly");
    case Refusal::Offline: {
        const QString offline = why.isEmpty() ? offlineText() : why;
        return offline.isEmpty() ? QStringLiteral("the line is not open") : offline;
    }
    case Refusal::WriteFailed:
        return why.isEmpty() ? QStringLiteral("the line could not be written") : why;
    case Refusal::Stopping:
        switch (m_ending) {
        case Ending::Removed: return QStringLiteral("removed from projectord's configuration");
        case Ending::Reconfigured:
            return QStringLiteral("its configuration changed: the line opens again with it");
        default: return QStringLiteral("projectord is stopping");
        }
    // A front words a line's own problem before it gets here.
    case Refusal::InvalidLine:
        return QStringLiteral("the line is empty, longer than %1 bytes or holds a byte over 0x7f")
            .arg(MaxLineLength);
    }
    return {};
}

QString ProjectorHost::offlineText() const
{
    return m_ending == Ending::None ? m_offline.text(LinkFailure::Reader::Service)
                                    : refusalText(Refusal::Stopping);
}
