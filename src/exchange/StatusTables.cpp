// SPDX-License-Identifier: MIT
#include "StatusTables.h"

#include <QStringView>

#include <array>

namespace {

struct StatusRow
{
    const char *key; // the start of the reply's trace
    const char *text;
};

constexpr std::array<StatusRow, 8> PowerTable{{
    {" 0 0", " Power ON"},
    {" 8 0", " Stand by"},
    {" 4 0", " Count down"},
    {" 2 0", " Cooling down"},
    {" 1 0", " Power abnormality"},
    {" 8 8", " Temperature abnormality"},
    {" 2 8", " Temperature abnormality"},
    {" 0 2", " Key input prohibition"},
}};

constexpr std::array<StatusRow, 3> InputTable{{
    {" 1", " Computer 1"},
    {" 2", " Computer 2"},
    {" 3", " Video"},
}};

constexpr std::array<StatusRow, 4> OrientationTable{{
    {" 1 1", " Normally"},
    {" 1 0", " Top/Bottom reversal"},
    {" 0 1", " Left/Right reversal"},
    {" 0 0", " Top/Bottom , Left/Right reversal"},
}};

template <std::size_t N>
std::optional<QString> lookUp(const std::array<StatusRow, N> &table, QStringView key)
{
    for (const StatusRow &row : table)
        if (key == QLatin1StringView(row.key)) return QString::fromLatin1(row.text);
    return std::nullopt;
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
