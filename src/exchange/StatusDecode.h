// SPDX-License-Identifier: MIT
#pragma once

#include <QLatin1StringView>
#include <QString>

#include <optional>

// The four status reads as data rather than the panel's words: what a program needs to act on
// the projector's state. The names are part of the service's and projector-ctl's interfaces and
// never change.
enum class PowerState {
    On,
    Standby,
    WarmingUp,
    CoolingDown,
    PowerAbnormality,
    TemperatureAbnormality,
    KeyLock
};
enum class InputSource { Computer1, Computer2, Video };
enum class Orientation { Normal, TopBottomReversed, LeftRightReversed, BothReversed };

QLatin1StringView name(PowerState s);  // "on", "standby", "warming-up", "cooling-down",
                                       // "power-abnormality", "temperature-abnormality", "key-lock"
QLatin1StringView name(InputSource s); // "computer-1", "computer-2", "video"
QLatin1StringView name(Orientation o); // "normal", "top-bottom-reversed", "left-right-reversed",
                                       // "both-reversed"

// What one status read's reply says. At most one field is set: the one its command reads, when
// the reply matched.
struct DecodedStatus
{
    std::optional<PowerState> power;
    std::optional<InputSource> input;
    std::optional<int> lampHours;
    std::optional<Orientation> orientation;

    bool isEmpty() const { return !power && !input && !lampHours && !orientation; }
};

// From the command line ("CR0\r") and the reply's trace as the RXD display shows it, by the same
// tables as the panel's status words.
DecodedStatus decodeStatus(const QString &commandText, const QString &replyTrace);
