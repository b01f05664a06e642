// SPDX-License-Identifier: MIT
#include "StatusReads.h"

#include "Commands.h"

#include <array>

namespace {

template <typename E> struct Row
{
    const char *reply; // the reply's first bytes
    E value;
};

constexpr std::array<Row<PowerState>, 8> PowerReplies{{
    {"00", PowerState::On},
    {"80", PowerState::Standby},
    {"40", PowerState::WarmingUp},
    {"20", PowerState::CoolingDown},
    {"10", PowerState::PowerAbnormality},
    {"88", PowerState::TemperatureAbnormality},
    {"28", PowerState::TemperatureAbnormality},
    {"02", PowerState::KeyLock},
}};

constexpr std::array<Row<InputSource>, 3> InputReplies{{
    {"1", InputSource::Computer1},
    {"2", InputSource::Computer2},
    {"3", InputSource::Video},
}};

constexpr std::array<Row<Orientation>, 4> OrientationReplies{{
    {"11", Orientation::Normal},
    {"10", Orientation::TopBottomReversed},
    {"01", Orientation::LeftRightReversed},
    {"00", Orientation::BothReversed},
}};

template <typename E, std::size_t N>
std::optional<E> lookUp(const std::array<Row<E>, N> &table, QByteArrayView reply)
{
    for (const Row<E> &row : table)
        if (reply.startsWith(QByteArrayView(row.reply))) return row.value;
    return std::nullopt;
}

// The digits that begin the reply, up to four: as many as the panel's display shows.
std::optional<int> lampHours(QByteArrayView reply)
{
    int hours = 0, digits = 0;
    for (const char c : reply.first(std::min<qsizetype>(reply.size(), DecidingBytes))) {
        if (c < '0' || c > '9') break;
        hours = hours * 10 + (c - '0');
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return hours;
}

} // namespace

std::optional<StatusRead> statusReadOf(QByteArrayView line)
{
    if (line.size() != 4 || !line.endsWith('\r')) return std::nullopt;
    const QByteArrayView code = line.first(3);
    if (code == Code::ReadPower) return StatusRead::Power;
    if (code == Code::ReadInput) return StatusRead::Input;
    if (code == Code::ReadLampHours) return StatusRead::LampHours;
    if (code == Code::ReadOrientation) return StatusRead::Orientation;
    return std::nullopt;
}

DecodedStatus decodeReply(QByteArrayView line, QByteArrayView reply)
{
    DecodedStatus d;
    const std::optional<StatusRead> read = statusReadOf(line);
    if (!read) return d;
    switch (*read) {
    case StatusRead::Power: d.power = lookUp(PowerReplies, reply); break;
    case StatusRead::Input: d.input = lookUp(InputReplies, reply); break;
    case StatusRead::LampHours: d.lampHours = lampHours(reply); break;
    case StatusRead::Orientation: d.orientation = lookUp(OrientationReplies, reply); break;
    }
    return d;
}

QVariantMap readingFields(const DecodedStatus &d)
{
    QVariantMap fields;
    if (d.power) fields.insert(QStringLiteral("power"), QString(name(*d.power)));
    if (d.input) fields.insert(QStringLiteral("input"), QString(name(*d.input)));
    if (d.lampHours) fields.insert(QStringLiteral("lamp_hours"), *d.lampHours);
    if (d.orientation) fields.insert(QStringLiteral("orientation"), QString(name(*d.orientation)));
    return fields;
}

namespace {

constexpr std::array<const char *, 7> PowerNames{
    "on",           "standby",           "warming-up",
    "cooling-down", "power-abnormality", "temperature-abnormality",
    "key-lock"};
constexpr std::array<const char *, 3> InputNames{"computer-1", "computer-2", "video"};
constexpr std::array<const char *, 4> OrientationNames{"normal", "top-bottom-reversed",
                                                       "left-right-reversed", "both-reversed"};

template <typename E, std::size_t N>
std::optional<E> byName(const std::array<const char *, N> &names, QStringView word)
{
    for (std::size_t i = 0; i < N; ++i)
        if (word == QLatin1StringView(names[i])) return E(i);
    return std::nullopt;
}

} // namespace

QLatin1StringView name(PowerState s)
{
    return QLatin1StringView(PowerNames.at(static_cast<std::size_t>(s)));
}

QLatin1StringView name(InputSource s)
{
    return QLatin1StringView(InputNames.at(static_cast<std::size_t>(s)));
}

QLatin1StringView name(Orientation o)
{
    return QLatin1StringView(OrientationNames.at(static_cast<std::size_t>(o)));
}

std::optional<PowerState> powerStateNamed(QStringView word)
{
    return byName<PowerState>(PowerNames, word);
}

std::optional<InputSource> inputSourceNamed(QStringView word)
{
    return byName<InputSource>(InputNames, word);
}

std::optional<Orientation> orientationNamed(QStringView word)
{
    return byName<Orientation>(OrientationNames, word);
}
