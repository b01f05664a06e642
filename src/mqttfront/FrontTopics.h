// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The topics under the host's base topic T ("projectord/hall-host"), and Home Assistant's own.
// A projector's name is one topic level: the configuration refuses '/', '+' and '#' in it.
namespace FrontTopics {
// "online", retained; the connection's will says "offline".
inline QString status(const QString &base)
{
    return base + QStringLiteral("/status");
}
inline QString state(const QString &base, const QString &projector)
{
    return base + u'/' + projector + QStringLiteral("/state");
}
inline QString set(const QString &base, const QString &projector)
{
    return base + u'/' + projector + QStringLiteral("/set");
}
// What the host subscribes to for every projector's set topic, and the projector a message on
// one of them is for.
inline QString setFilter(const QString &base)
{
    return base + QStringLiteral("/+/set");
}
inline std::optional<QString> setTarget(const QString &base, const QString &topic)
{
    const QString head = base + u'/', tail = QStringLiteral("/set");
    if (topic.size() <= head.size() + tail.size() || !topic.startsWith(head) ||
        !topic.endsWith(tail))
        return std::nullopt;
    const QString name = topic.mid(head.size(), topic.size() - head.size() - tail.size());
    if (name.contains(u'/')) return std::nullopt;
    return name;
}
inline QString response(const QString &base, const QString &projector)
{
    return base + u'/' + projector + QStringLiteral("/response");
}
// Where Home Assistant says "online" when it starts: discovery and state are published again.
inline QString discoveryBirth(const QString &prefix)
{
    return prefix + QStringLiteral("/status");
}
// Home Assistant has started: what it knew of discovery and state may be gone.
inline bool isDiscoveryBirth(const QString &prefix, const QString &topic, const QByteArray &payload)
{
    return topic == discoveryBirth(prefix) && payload == "online";
}
inline constexpr char Online[] = "online";
inline constexpr char Offline[] = "offline";
} // namespace FrontTopics
