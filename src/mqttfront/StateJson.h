// SPDX-License-Identifier: MIT
#pragma once

#include "ProjectorHost.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What T/<name>/state tells of one projector.
struct StateInput
{
    bool online = false;
    QString failure; // why the line is not open, as the bus words it; ignored while online
    ProjectorState state;
    // The projector cannot be asked for its mutes: unknown until a line through the service set
    // them.
    std::optional<bool> audioMute;
    std::optional<bool> videoMute;
};

// The host's line, readings and mutes.
StateInput stateInputOf(const ProjectorHost &host);

// One JSON object with projector-ctl's keys and the bus's words: "online", "power", "input",
// "lamp_hours", "orientation", "audio_mute", "video_mute" (null while unknown), "failure" (""
// while online) and "power_read_at" … "orientation_read_at" (ISO 8601 UTC, null while never
// read). The same input gives the same bytes.
QByteArray stateJson(const StateInput &input);

// Which states to publish: only one whose values differ from the last published. A poll reads
// the same values again every few seconds with new times, and that alone is no change: the
// broker stays quiet while nothing happens.
class StateChanges
{
public:
    // The payload to publish, or none when nothing but read times moved since the last one.
    std::optional<QByteArray> take(const StateInput &input);
    // The next take() publishes whatever it gets: after a reconnection, or when Home Assistant
    // asks again.
    void forget() { m_last.reset(); }

private:
    std::optional<StateInput> m_last;
};
