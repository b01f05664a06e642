// SPDX-License-Identifier: MIT
#pragma once

#include "ProjectorModel.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Cuts the received byte stream into lines at each carriage return, however the bytes were
// spread over reads.
class LineFramer
{
public:
    // A line that grows past this without a CR is handed out as it stands, so a stream of
    // garbage is still logged and the buffer stays bounded.
    static constexpr std::size_t DefaultMaxLine = 256;

    explicit LineFramer(std::size_t maxLine = DefaultMaxLine) : m_maxLine(maxLine) {}

    // The lines that these bytes complete, without their CR, in order.
    std::vector<std::string> feed(std::string_view bytes);
    const std::string &pending() const { return m_pending; }

private:
    std::size_t m_maxLine;
    std::string m_pending;
};

// A received line made fit for a one-line log: printable ASCII as is, every other byte and the
// backslash itself as \xNN, so the log can be read back without ambiguity.
std::string escapeLine(std::string_view line);

// "<microseconds> <escaped line>\n".
std::string formatLogLine(SimTime at, std::string_view line);

} // namespace sim
