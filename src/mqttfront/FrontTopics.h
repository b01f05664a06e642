// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

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
inline QString response(const QString &base, const QString &projector)
{
    return base + u'/' + projector + QStringLiteral("/response");
}
// Where Home Assistant says "online" when it starts: discovery and state are published again.
inline QString discoveryBirth(const QString &prefix)
{
    return prefix + QStringLiteral("/status");
}
inline constexpr char Online[] = "online";
inline constexpr char Offline[] = "offline";
} // namespace FrontTopics
