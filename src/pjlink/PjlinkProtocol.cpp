// SPDX-License-Identifier: MIT
#include "PjlinkProtocol.h"

#include <QCryptographicHash>

#include <array>

namespace pjlink {

namespace {

// The mapping, the one place it is written down; the README's table is this one.
constexpr std::array<Mapping, 22> Mappings{{
    {"POWR", "1", {Code::PowerOn, nullptr}, Reading::Done},
    {"POWR", "0", {Code::PowerOff, nullptr}, Reading::Done},
    {"POWR", "?", {Code::ReadPower, nullptr}, Reading::Power},
    {"INPT", "11", {Code::InputComputer1, nullptr}, Reading::Done}, // PC 1
    {"INPT", "12", {Code::InputComputer2, nullptr}, Reading::Done}, // PC 2
    {"INPT", "21", {Code::InputVideo, nullptr}, Reading::Done},     // Video
    {"INPT", "?", {Code::ReadInput, nullptr}, Reading::Input},
    {"INST", "?", {nullptr, nullptr}, Reading::Inputs},
    {"AVMT", "11", {Code::VideoMuteOn, nullptr}, Reading::Done}, // video mute on
    {"AVMT", "10", {Code::VideoMuteOff, nullptr}, Reading::Done},
    {"AVMT", "21", {Code::AudioMuteOn, nullptr}, Reading::Done}, // audio mute on
    {"AVMT", "20", {Code::AudioMuteOff, nullptr}, Reading::Done},
    {"AVMT", "31", {Code::VideoMuteOn, Code::AudioMuteOn}, Reading::Done},
    {"AVMT", "30", {Code::VideoMuteOff, Code::AudioMuteOff}, Reading::Done},
    {"AVMT", "?", {nullptr, nullptr}, Reading::Mute},
    // The hours, then whether it is lit.
    {"LAMP", "?", {Code::ReadLampHours, Code::ReadPower}, Reading::Lamp},
    {"ERST", "?", {Code::ReadPower, nullptr}, Reading::Errors},
    {"NAME", "?", {nullptr, nullptr}, Reading::Name},
    {"INF1", "?", {nullptr, nullptr}, Reading::Maker},
    {"INF2", "?", {nullptr, nullptr}, Reading::Product},
    {"INFO", "?", {nullptr, nullptr}, Reading::Other},
    {"CLSS", "?", {nullptr, nullptr}, Reading::Class},
}};

constexpr QByteArrayView Inputs = "11 12 21";

bool isBodyKnown(QByteArrayView body)
{
    for (const Mapping &m : Mappings)
        if (body == QByteArrayView(m.body)) return true;
    return false;
}

// A command's four letters and digits, upper-cased; empty when they are not that.
QByteArray commandBody(QByteArrayView line)
{
    if (line.size() < 6) return {};
    QByteArray body = line.sliced(2, 4).toByteArray().toUpper();
    for (const char c : body)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return {};
    return body;
}

// Equal in a time that does not depend on where they differ.
bool sameDigest(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

QByteArray powerCode(PowerState s)
{
    switch (s) {
    case PowerState::Standby: return "0";
    case PowerState::On: return "1";
    case PowerState::CoolingDown: return "2";
    case PowerState::WarmingUp: return "3";
    default: return {}; // an abnormality or the key lock: no power state to tell
    }
}

} // namespace

const Mapping *findMapping(QByteArrayView body, QByteArrayView parameter)
{
    for (const Mapping &m : Mappings)
        if (body == QByteArrayView(m.body) && parameter == QByteArrayView(m.parameter)) return &m;
    return nullptr;
}

QByteArray answerLine(QByteArrayView body, QByteArrayView parameter)
{
    return "%1" + body.toByteArray() + '=' + parameter.toByteArray() + '\r';
}

QByteArray errorLine(QByteArrayView body, Error error)
{
    return answerLine(body, "ERR" + QByteArray::number(int(error)));
}

Error noReplyError(std::optional<PowerState> lastPower)
{
    return lastPower == PowerState::WarmingUp || lastPower == PowerState::CoolingDown
               ? Error::UnavailableTime
               : Error::ProjectorFailure;
}

QByteArray answer(const Mapping &m, const QList<Outcome> &outcomes, const Facts &facts)
{
    const QByteArrayView body(m.body);
    if (outcomes.size() < m.codeCount() ||
        std::any_of(outcomes.begin(), outcomes.end(), [](const Outcome &o) { return !o.answered; }))
        return errorLine(body, noReplyError(facts.lastPower));
    const auto ok = [&](const QByteArray &parameter) {
        return parameter.isEmpty() ? errorLine(body, Error::ProjectorFailure)
                                   : answerLine(body, parameter);
    };
    const DecodedStatus first = outcomes.value(0).status;
    switch (m.reading) {
    case Reading::Done: return answerLine(body, "OK");
    case Reading::Power:
        // The key lock tells no power state, but it passes.
        if (first.power == PowerState::KeyLock) return errorLine(body, Error::UnavailableTime);
        return ok(first.power ? powerCode(*first.power) : QByteArray());
    case Reading::Input: {
        constexpr std::array<const char *, 3> Codes{"11", "12", "21"};
        return ok(first.input ? QByteArray(Codes.at(std::size_t(*first.input))) : QByteArray());
    }
    case Reading::Inputs: return answerLine(body, Inputs);
    case Reading::Mute: {
        // Never set through the service: as the projector starts, with neither muted.
        const bool video = facts.mute.video.value_or(false);
        const bool audio = facts.mute.audio.value_or(false);
        return answerLine(body, video ? (audio ? "31" : "11") : (audio ? "21" : "30"));
    }
    case Reading::Lamp: {
        const std::optional<PowerState> power = outcomes.value(1).status.power;
        if (!first.lampHours || !power) return errorLine(body, Error::ProjectorFailure);
        // Lit from the count down, which strikes the lamp, until the cooling down.
        const bool lit = *power == PowerState::On || *power == PowerState::WarmingUp;
        return answerLine(body, QByteArray::number(*first.lampHours) + (lit ? " 1" : " 0"));
    }
    case Reading::Errors:
        if (!first.power) return errorLine(body, Error::ProjectorFailure);
        // Fan, lamp, temperature, cover, filter, other.
        return answerLine(body, *first.power == PowerState::TemperatureAbnormality ? "002000"
                                : *first.power == PowerState::PowerAbnormality     ? "000002"
                                                                                   : "000000");
    case Reading::Name: return answerLine(body, facts.identity.name);
    case Reading::Maker: return answerLine(body, facts.identity.maker);
    case Reading::Product: return answerLine(body, facts.identity.product);
    case Reading::Other: return answerLine(body, facts.identity.other);
    case Reading::Class: return answerLine(body, "1");
    }
    return errorLine(body, Error::Undefined);
}

QByteArray digest(QByteArrayView random, QByteArrayView password)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    md5.addData(random);
    md5.addData(password);
    return md5.result().toHex();
}

Session::Session(QByteArray password, QByteArray random)
    : m_password(std::move(password)), m_random(std::move(random)),
      m_authenticated(m_password.isEmpty())
{
}

QByteArray Session::greeting() const
{
    return m_authenticated ? QByteArray("PJLINK 0\r") : "PJLINK 1 " + m_random + '\r';
}

int Session::lineLimit() const
{
    return m_authenticated ? MaxLine : MaxLine + DigestLength;
}

void Session::feed(QByteArrayView bytes)
{
    if (!m_closing) m_input.append(bytes);
}

std::optional<Session::Step> Session::next()
{
    while (!m_closing) {
        // A LF after the CR, as some clients send, is no part of the next line.
        qsizetype skip = 0;
        while (skip < m_input.size() && m_input.at(skip) == '\n') ++skip;
        m_input.remove(0, skip);
        const qsizetype end = m_input.indexOf('\r');
        Step step;
        if (m_discarding) {
            if (end < 0) {
                m_input.clear();
                return std::nullopt;
            }
            m_input.remove(0, end + 1);
            m_discarding = false;
            step = overlong(m_overlongHead);
        } else if (end < 0 && m_input.size() < lineLimit()) {
            return std::nullopt;
        } else if (end < 0 || end + 1 > lineLimit()) {
            if (!m_authenticated) return parse({}); // no digest comes from it: refused at once
            // Keeps what names the command; the rest goes, up to the line's end.
            m_overlongHead = m_input.left(6);
            if (end < 0) {
                m_input.clear();
                m_discarding = true;
                return std::nullopt;
            }
            m_input.remove(0, end + 1);
            step = overlong(m_overlongHead);
        } else {
            const QByteArray line = m_input.left(end);
            m_input.remove(0, end + 1);
            step = parse(line);
        }
        if (step.mapping || !step.answer.isEmpty()) return step;
    }
    return std::nullopt;
}

Session::Step Session::overlong(QByteArrayView head)
{
    const QByteArray body = head.startsWith("%1") ? commandBody(head) : QByteArray();
    if (body.isEmpty()) return {};
    return {nullptr, errorLine(body, isBodyKnown(body) ? Error::OutOfParameter : Error::Undefined)};
}

Session::Step Session::parse(QByteArrayView line)
{
    if (!m_authenticated) {
        const QByteArray expected = digest(m_random, m_password);
        if (line.size() < DigestLength ||
            !sameDigest(line.first(DigestLength).toByteArray().toLower(), expected)) {
            m_closing = true;
            m_input.clear();
            return {nullptr, "PJLINK ERRA\r", true};
        }
        m_authenticated = true;
        line = line.sliced(DigestLength);
    }
    // Not a command line at all: there is no command to answer.
    const QByteArray body = line.startsWith('%') ? commandBody(line) : QByteArray();
    if (body.isEmpty() || line.at(1) < '0' || line.at(1) > '9') return {};
    if (line.at(1) != '1' || !isBodyKnown(body)) {
        // Class 2 and unknown commands alike: the class's own header in the answer.
        QByteArray answer = errorLine(body, Error::Undefined);
        answer[1] = line.at(1);
        return {nullptr, answer};
    }
    const Mapping *m =
        line.size() > 7 && line.at(6) == ' ' ? findMapping(body, line.sliced(7)) : nullptr;
    if (!m) return {nullptr, errorLine(body, Error::OutOfParameter)};
    return {m, {}};
}

} // namespace pjlink
