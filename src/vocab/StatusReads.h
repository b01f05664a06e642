// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QLatin1StringView>
#include <QStringView>
#include <QVariantMap>

#include <optional>

// The four status reads as data: what a program needs to act on the projector's state. The
// names are part of the service's and projector-ctl's interfaces and never change.
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
// The value a name() stands for, as the bus's properties carry it; none for another word.
std::optional<PowerState> powerStateNamed(QStringView word);
std::optional<InputSource> inputSourceNamed(QStringView word);
std::optional<Orientation> orientationNamed(QStringView word);

enum class StatusRead { Power, Input, LampHours, Orientation };

// The status read a line asks for: its code and a carriage return, exactly ("CR0\r").
std::optional<StatusRead> statusReadOf(QByteArrayView line);

// What one status read's reply says. At most one field is set: the one its command reads, when
// the reply matched.
struct DecodedStatus
{
    std::optional<PowerState> power;
    std::optional<InputSource> input;
    std::optional<int> lampHours;
    std::optional<Orientation> orientation;

    bool isEmpty() const { return !power && !input && !lampHours && !orientation; }
    friend bool operator==(const DecodedStatus &a, const DecodedStatus &b)
    {
        return a.power == b.power && a.input == b.input && a.lampHours == b.lampHours &&
               a.orientation == b.orientation;
    }
};

// The reply's first bytes decide, up to four: the power state's two digits, the input's one,
// the orientation's two, the lamp hours' leading digits. Any later bytes are of no account.
inline constexpr int DecidingBytes = 4;

// From the line sent ("CR0\r") and the bytes of its reply as they came.
DecodedStatus decodeReply(QByteArrayView line, QByteArrayView reply);

// The reading as named fields: "power", "input" and "orientation" by name(), "lamp_hours" as
// an int; only those decoded.
QVariantMap readingFields(const DecodedStatus &d);
