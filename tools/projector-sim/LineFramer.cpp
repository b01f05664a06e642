// SPDX-License-Identifier: MIT
#include "LineFramer.h"

#include <cstdio>

namespace sim {

std::vector<std::string> LineFramer::feed(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (c == '\r') {
            lines.push_back(std::move(m_pending));
            m_pending.clear();
            continue;
        }
        m_pending += c;
        if (m_pending.size() >= m_maxLine) {
            lines.push_back(std::move(m_pending));
            m_pending.clear();
        }
    }
    return lines;
}

std::string escapeLine(std::string_view line)
{
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out;
}

std::string formatLogLine(SimTime at, std::string_view line)
{
    std::string out = std::to_string(at.count());
    out += ' ';
    out += escapeLine(line);
    out += '\n';
    return out;
}

} // namespace sim
