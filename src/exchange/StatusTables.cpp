// SPDX-License-Identifier: MIT
#include "StatusTables.h"

#include "LineTrace.h"

#include <array>

namespace {

template <typename E> struct Words
{
    E value;
    const char *text;
};

constexpr std::array<Words<PowerState>, 7> PowerWords{{
    {PowerState::On, " Power ON"},
    {PowerState::Standby, " Stand by"},
    {PowerState::WarmingUp, " Count down"},
    {PowerState::CoolingDown, " Cooling down"},
    {PowerState::PowerAbnormality, " Power abnormality"},
    {PowerState::TemperatureAbnormality, " Temperature abnormality"},
    {PowerState::KeyLock, " Key input prohibition"},
}};

constexpr std::array<Words<InputSource>, 3> InputWords{{
    {InputSource::Computer1, " Computer 1"},
    {InputSource::Computer2, " Computer 2"},
    {InputSource::Video, " Video"},
}};

constexpr std::array<Words<Orientation>, 4> OrientationWords{{
    {Orientation::Normal, " Normally"},
    {Orientation::TopBottomReversed, " Top/Bottom reversal"},
    {Orientation::LeftRightReversed, " Left/Right reversal"},
    {Orientation::BothReversed, " Top/Bottom , Left/Right reversal"},
}};

template <typename E, std::size_t N> QString wordsOf(const std::array<Words<E>, N> &table, E value)
{
    for (const Words<E> &w : table)
        if (w.value == value) return QString::fromLatin1(w.text);
    return {};
}

std::optional<QString> statusWords(const DecodedStatus &reading)
{
    if (reading.power) return wordsOf(PowerWords, *reading.power);
    if (reading.input) return wordsOf(InputWords, *reading.input);
    if (reading.orientation) return wordsOf(OrientationWords, *reading.orientation);
    return std::nullopt;
}

// The first characters of a text as the bytes they stand for, without an allocation: this runs
// for every stretch of a reply that arrives.
struct Head
{
    std::array<char, DecidingBytes> bytes{};
    qsizetype size = 0;
    QByteArrayView view() const { return QByteArrayView(bytes.data(), size); }
};

Head head(QStringView text)
{
    Head h;
    for (const QChar c : text.left(DecidingBytes))
        h.bytes[std::size_t(h.size++)] = c.unicode() > 0xFF ? '?' : char(c.unicode());
    return h;
}

} // namespace

std::optional<QString> interpretStatus(QStringView commandText, QStringView reply)
{
    if (commandText.size() != DecidingBytes) return std::nullopt; // no status read's line
    const Head line = head(commandText);
    const std::optional<StatusRead> read = statusReadOf(line.view());
    if (!read) return std::nullopt;
    // The lamp time shows whatever came, digits or not, as its first four characters trace.
    if (*read == StatusRead::LampHours)
        return lineTrace(reply.left(DecidingBytes)).left(8) + QLatin1StringView(" Hour Use");
    return statusWords(decodeReply(line.view(), head(reply).view()));
}
