// SPDX-License-Identifier: MIT
#pragma once

#include "LineFramer.h"
#include "LineShaping.h"
#include "ProjectorModel.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Everything the device does with the bytes it is sent, short of touching a file descriptor:
// framing, the model's replies, and how those replies are spoiled on the way out.
class Simulator
{
public:
    struct Behaviour
    {
        ProjectorModel::Config model;
        bool silent = false;
        bool noise = false;
        WriteSchedule::Timing timing;
        std::uint32_t seed = 1;
        ProjectorModel::Fault fault = ProjectorModel::Fault::None;
        SimTime faultAfter{}; // since start
    };

    struct Line
    {
        SimTime at;
        std::string text;  // as received, without the CR
        std::string reply; // as the model gave it, before any spoiling; empty if none
    };

    Simulator(Behaviour behaviour, SimTime start);

    // Bytes read at `now`: the lines they complete, whose replies are now scheduled.
    std::vector<Line> receive(std::string_view bytes, SimTime now);
    // The writes due by now, in order, one write() each.
    std::deque<std::string> takeDue(SimTime now) { return m_schedule.takeDue(now); }
    // When something will next happen without new input: a write falling due or a fault
    // setting in.
    std::optional<SimTime> nextEvent() const;
    void advance(SimTime now);
    // Replies scheduled and not yet due.
    std::size_t unsentBytes() const { return m_schedule.pendingBytes(); }

    const ProjectorModel &model() const { return m_model; }

private:
    Behaviour m_behaviour;
    ProjectorModel m_model;
    LineFramer m_framer;
    WriteSchedule m_schedule;
    NoiseMixer m_noise;
    std::optional<SimTime> m_faultAt;
};

} // namespace sim
