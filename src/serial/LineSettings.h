// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// A line-settings text such as "19200,N,8,1": baud, parity letter, data bits, stop bits.
struct LineSettings
{
    qint32 baud = 19200;
    char parity = 'N'; // N, E, O, M or S
    int dataBits = 8;  // 5 to 8
    int stopBits = 1;  // 1 or 2

    static std::optional<LineSettings> parse(const QString &text);
    QString toString() const;
    bool operator==(const LineSettings &o) const
    {
        return baud == o.baud && parity == o.parity && dataBits == o.dataBits &&
               stopBits == o.stopBits;
    }
    bool operator!=(const LineSettings &o) const { return !(*this == o); }
};

inline constexpr auto Settings19200 = "19200,N,8,1";
inline constexpr auto Settings9600 = "9600,N,8,1";
