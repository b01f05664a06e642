// SPDX-License-Identifier: MIT
#include "StateJson.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

template <typename T, typename Word>
void insertReading(QJsonObject &o, const char *key, const ProjectorState::Reading<T> &r, Word word)
{
    const QString name = QLatin1String(key);
    o.insert(name, r.isKnown() ? QJsonValue(word(r.value)) : QJsonValue());
    o.insert(name + QLatin1String("_read_at"),
             r.isKnown() ? QJsonValue(r.at.toUTC().toString(Qt::ISODate)) : QJsonValue());
}

QJsonValue orNull(const std::optional<bool> &b)
{
    return b ? QJsonValue(*b) : QJsonValue();
}

template <typename T>
bool sameValue(const ProjectorState::Reading<T> &a, const ProjectorState::Reading<T> &b)
{
    return a.isKnown() == b.isKnown() && (!a.isKnown() || a.value == b.value);
}

bool sameValues(const StateInput &a, const StateInput &b)
{
    return a.online == b.online && (a.online || a.failure == b.failure) &&
           sameValue(a.state.power, b.state.power) && sameValue(a.state.input, b.state.input) &&
           sameValue(a.state.lampHours, b.state.lampHours) &&
           sameValue(a.state.orientation, b.state.orientation) && a.audioMute == b.audioMute &&
           a.videoMute == b.videoMute;
}

} // namespace

StateInput stateInputOf(const ProjectorHost &host)
{
    StateInput in;
    in.online = host.isOnline();
    if (!in.online) in.failure = host.offlineText();
    in.state = host.state();
    in.audioMute = host.mutes().audio;
    in.videoMute = host.mutes().video;
    return in;
}

QByteArray stateJson(const StateInput &input)
{
    const auto word = [](auto v) { return QString(name(v)); };
    QJsonObject o;
    o.insert(QStringLiteral("online"), input.online);
    o.insert(QStringLiteral("failure"), input.online ? QString() : input.failure);
    insertReading(o, "power", input.state.power, word);
    insertReading(o, "input", input.state.input, word);
    insertReading(o, "lamp_hours", input.state.lampHours, [](int h) { return h; });
    insertReading(o, "orientation", input.state.orientation, word);
    o.insert(QStringLiteral("audio_mute"), orNull(input.audioMute));
    o.insert(QStringLiteral("video_mute"), orNull(input.videoMute));
    // QJsonObject keeps its keys sorted: the bytes depend on the values only.
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<QByteArray> StateChanges::take(const StateInput &input)
{
    if (m_last && sameValues(*m_last, input)) return std::nullopt;
    m_last = input;
    return stateJson(input);
}
