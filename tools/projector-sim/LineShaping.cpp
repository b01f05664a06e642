// SPDX-License-Identifier: MIT
#include "LineShaping.h"

#include <algorithm>
#include <array>

namespace sim {

void WriteSchedule::push(const std::string &bytes, SimTime now)
{
    if (bytes.empty()) return;
    m_bytes += bytes.size();
    SimTime due = now + m_timing.delay;
    if (!m_timing.split) {
        if (m_lastDue) due = std::max(due, *m_lastDue);
        m_queue.push_back({due, bytes});
        m_lastDue = due;
        return;
    }
    if (m_lastDue) due = std::max(due, *m_lastDue + m_timing.splitGap);
    for (char c : bytes) {
        m_queue.push_back({due, std::string(1, c)});
        m_lastDue = due;
        due += m_timing.splitGap;
    }
}

std::deque<std::string> WriteSchedule::takeDue(SimTime now)
{
    std::deque<std::string> out;
    while (!m_queue.empty() && m_queue.front().due <= now) {
        m_bytes -= m_queue.front().bytes.size();
        out.push_back(std::move(m_queue.front().bytes));
        m_queue.pop_front();
    }
    return out;
}

std::optional<SimTime> WriteSchedule::nextDue() const
{
    if (m_queue.empty()) return std::nullopt;
    return m_queue.front().due;
}

bool NoiseMixer::isNoise(unsigned char byte)
{
    if (byte == '\r' || byte == ProjectorModel::Ack) return false;
    return byte < 0x20 || byte >= 0x7F;
}

namespace {

const std::array<unsigned char, 159> &noiseBytes()
{
    static const auto table = [] {
        std::array<unsigned char, 159> t{};
        std::size_t n = 0;
        for (int b = 0; b < 256; ++b)
            if (NoiseMixer::isNoise(static_cast<unsigned char>(b)))
                t[n++] = static_cast<unsigned char>(b);
        return t;
    }();
    return table;
}

} // namespace

std::string NoiseMixer::mix(std::string reply)
{
    if (reply.empty()) return reply;
    if (std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) >= m_rate) return reply;
    const auto &bytes = noiseBytes();
    std::uniform_int_distribution<std::size_t> pickByte(0, bytes.size() - 1);
    const int count = std::uniform_int_distribution<int>(1, 3)(m_rng);
    for (int i = 0; i < count; ++i) {
        // Anywhere before the reply's final byte, which stays its CR.
        const std::size_t at =
            std::uniform_int_distribution<std::size_t>(0, reply.size() - 1)(m_rng);
        reply.insert(reply.begin() + static_cast<std::ptrdiff_t>(at),
                     static_cast<char>(bytes[pickByte(m_rng)]));
    }
    return reply;
}

std::string FloodSource::take(std::size_t n, SimTime now)
{
    if (!active(now)) return {};
    std::uniform_int_distribution<int> pick(m_unprintable ? 0 : 0x20, m_unprintable ? 0xFF : 0x7E);
    std::string out(n, '\0');
    for (char &c : out) c = static_cast<char>(pick(m_rng));
    return out;
}

} // namespace sim
