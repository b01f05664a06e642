// SPDX-License-Identifier: MIT
#include "LineTrace.h"

#include <array>

namespace {

// "  ", "! ", ... "z ": every printable piece is the character and a blank.
constexpr auto PrintablePieces = [] {
    std::array<char, (122 - 32 + 1) * 2> pieces{};
    for (int i = 0; i <= 122 - 32; ++i) {
        pieces[2 * i] = static_cast<char>(32 + i);
        pieces[2 * i + 1] = ' ';
    }
    return pieces;
}();

} // namespace

QLatin1StringView tracePiece(QChar c)
{
    const char16_t u = c.unicode();
    switch (u) {
    case 6: return QLatin1StringView("ACK ");
    case 13: return QLatin1StringView("CR ");
    case 10: return QLatin1StringView("LF  ");
    default: break;
    }
    if (u >= 32 && u <= 122) return QLatin1StringView(PrintablePieces.data() + 2 * (u - 32), 2);
    return QLatin1StringView("? ");
}

void appendTracePieces(QString &trace, QStringView text)
{
    for (const QChar c : text) trace += tracePiece(c);
}

QString lineTrace(QStringView text)
{
    QString trace;
    trace.reserve(1 + 2 * text.size());
    trace += u' ';
    appendTracePieces(trace, text);
    return trace;
}
