// SPDX-License-Identifier: MIT
#pragma once

#include "ProjectorModel.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>

namespace sim {

// When and in what pieces replies go out: each element that takeDue() hands back is meant for
// one write() of its own.
class WriteSchedule
{
public:
    struct Timing
    {
        SimTime delay{};
        bool split = false; // one byte per write
        // Room between the bytes of a split reply, so a reader really gets them one by one
        // instead of the pieces meeting again in its buffer.
        SimTime splitGap = std::chrono::milliseconds(5);
    };

    explicit WriteSchedule(Timing timing) : m_timing(timing) {}

    // Replies leave in the order they were pushed, never overlapping.
    void push(const std::string &bytes, SimTime now);
    std::deque<std::string> takeDue(SimTime now);
    std::optional<SimTime> nextDue() const;
    bool empty() const { return m_queue.empty(); }
    std::size_t pendingBytes() const { return m_bytes; }

private:
    struct Piece
    {
        SimTime due;
        std::string bytes;
    };
    Timing m_timing;
    std::deque<Piece> m_queue;
    std::optional<SimTime> m_lastDue;
    std::size_t m_bytes = 0;
};

// Dirties some replies with bytes outside the printable range. It never adds a CR or an ACK and
// keeps the reply's own CR last, so what a reader must cope with is junk inside a reply, not a
// reply cut in two.
class NoiseMixer
{
public:
    explicit NoiseMixer(std::uint32_t seed, double rate = 0.3) : m_rng(seed), m_rate(rate) {}
    std::string mix(std::string reply);
    static bool isNoise(unsigned char byte);

private:
    std::mt19937 m_rng;
    double m_rate;
};

// Random bytes for a fixed time, as fast as they are taken: printable ASCII, or any byte at all
// when unprintables are wanted.
class FloodSource
{
public:
    FloodSource(SimTime until, bool unprintable, std::uint32_t seed)
        : m_until(until), m_unprintable(unprintable), m_rng(seed)
    {
    }
    bool active(SimTime now) const { return now < m_until; }
    SimTime until() const { return m_until; }
    // Up to n bytes; none once the time is over.
    std::string take(std::size_t n, SimTime now);

private:
    SimTime m_until;
    bool m_unprintable;
    std::mt19937 m_rng;
};

} // namespace sim
