// SPDX-License-Identifier: MIT
#include "StatusTables.h"

#include "StatusDecode.h"

#include <QStringView>

#include <array>

namespace {

struct StatusRow
{
    const char *key; // the start of the reply's trace
    const char *text;
    int value; // the decoded state: a PowerState, InputSource or Orientation
};

constexpr std::array<StatusRow, 8> PowerTable{{
    {" 0 0", " Power ON", int(PowerState::On)},
    {" 8 0", " Stand by", int(PowerState::Standby)},
    {" 4 0", " Count down", int(PowerState::WarmingUp)},
    {" 2 0", " Cooling down", int(PowerState::CoolingDown)},
    {" 1 0", " Power abnormality", int(PowerState::PowerAbnormality)},
    {" 8 8", " Temperature abnormality", int(PowerState::TemperatureAbnormality)},
    {" 2 8", " Temperature abnormality", int(PowerState::TemperatureAbnormality)},
    {" 0 2", " Key input prohibition", int(PowerState::KeyLock)},
}};

constexpr std::array<StatusRow, 3> InputTable{{
    {" 1", " Computer 1", int(InputSource::Computer1)},
    {" 2", " Computer 2", int(InputSource::Computer2)},
    {" 3", " Video", int(InputSource::Video)},
}};

constexpr std::array<StatusRow, 4> OrientationTable{{
    {" 1 1", " Normally", int(Orientation::Normal)},
    {" 1 0", " Top/Bottom reversal", int(Orientation::TopBottomReversed)},
    {" 0 1", " Left/Right reversal", int(Orientation::LeftRightReversed)},
    {" 0 0", " Top/Bottom , Left/Right reversal", int(Orientation::BothReversed)},
}};

template <std::size_t N>
const StatusRow *findRow(const std::array<StatusRow, N> &table, QStringView key)
{
    for (const StatusRow &row : table)
        if (key == QLatin1StringView(row.key)) return &row;
    return nullptr;
}

template <std::size_t N>
std::optional<QString> lookUp(const std::array<StatusRow, N> &table, QStringView key)
{
    if (const StatusRow *row = findRow(table, key)) return QString::fromLatin1(row->text);
    return std::nullopt;
}

template <typename E, std::size_t N>
std::optional<E> decode(const std::array<StatusRow, N> &table, QStringView key)
{
    if (const StatusRow *row = findRow(table, key)) return static_cast<E>(row->value);
    return std::nullopt;
}

// The digits that begin the lamp time's reply, read from its trace: one character every two
// places after the leading blank, as the panel shows the first four.
std::optional<int> lampHours(QStringView trace)
{
    int hours = 0, digits = 0;
    for (qsizetype i = 1; i < 8 && i < trace.size(); i += 2) {
        const char16_t c = trace.at(i).unicode();
        if (c < u'0' || c > u'9' || (i + 1 < trace.size() && trace.at(i + 1) != u' ')) break;
        hours = hours * 10 + (c - u'0');
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return hours;
}

} // namespace

std::optional<QString> interpretStatus(const QString &commandText, const QString &replyTrace)
{
    const QStringView trace(replyTrace);
    if (commandText == QLatin1StringView("CR0\r")) return lookUp(PowerTable, trace.left(4));
    if (commandText == QLatin1StringView("CR1\r")) return lookUp(InputTable, trace.left(2));
    if (commandText == QLatin1StringView("CR4\r")) return lookUp(OrientationTable, trace.left(4));
    if (commandText == QLatin1StringView("CR3\r"))
        return trace.left(8).toString() + QLatin1StringView(" Hour Use");
    return std::nullopt;
}

DecodedStatus decodeStatus(const QString &commandText, const QString &replyTrace)
{
    const QStringView trace(replyTrace);
    DecodedStatus d;
    if (commandText == QLatin1StringView("CR0\r"))
        d.power = decode<PowerState>(PowerTable, trace.left(4));
    else if (commandText == QLatin1StringView("CR1\r"))
        d.input = decode<InputSource>(InputTable, trace.left(2));
    else if (commandText == QLatin1StringView("CR4\r"))
        d.orientation = decode<Orientation>(OrientationTable, trace.left(4));
    else if (commandText == QLatin1StringView("CR3\r"))
        d.lampHours = lampHours(trace);
    return d;
}

QLatin1StringView name(PowerState s)
{
    constexpr std::array<const char *, 7> Names{
        "on",           "standby",           "warming-up",
        "cooling-down", "power-abnormality", "temperature-abnormality",
        "key-lock"};
    return QLatin1StringView(Names.at(static_cast<std::size_t>(s)));
}

QLatin1StringView name(InputSource s)
{
    constexpr std::array<const char *, 3> Names{"computer-1", "computer-2", "video"};
    return QLatin1StringView(Names.at(static_cast<std::size_t>(s)));
}

QLatin1StringView name(Orientation o)
{
    constexpr std::array<const char *, 4> Names{"normal", "top-bottom-reversed",
                                                "left-right-reversed", "both-reversed"};
    return QLatin1StringView(Names.at(static_cast<std::size_t>(o)));
}
