// SPDX-License-Identifier: MIT
#include "Simulator.h"

#include <algorithm>

namespace sim {

Simulator::Simulator(Behaviour behaviour, SimTime start)
    : m_behaviour(std::move(behaviour)), m_model(m_behaviour.model, start),
      m_schedule(m_behaviour.timing), m_noise(m_behaviour.seed)
{
    if (m_behaviour.fault != ProjectorModel::Fault::None)
        m_faultAt = start + m_behaviour.faultAfter;
    advance(start);
}

void Simulator::advance(SimTime now)
{
    if (m_faultAt && now >= *m_faultAt) {
        // At the moment it was due, so the model's timed phases line up with it exactly.
        m_model.setFault(m_behaviour.fault, *m_faultAt);
        m_faultAt.reset();
    }
    m_model.advance(now);
}

std::vector<Simulator::Line> Simulator::receive(std::string_view bytes, SimTime now)
{
    advance(now);
    std::vector<Line> lines;
    for (std::string &text : m_framer.feed(bytes)) {
        std::string reply = m_model.answer(text, now);
        if (!m_behaviour.silent) {
            m_schedule.push(m_behaviour.noise ? m_noise.mix(reply) : reply, now);
        }
        lines.push_back({now, std::move(text), std::move(reply)});
    }
    return lines;
}

std::optional<SimTime> Simulator::nextEvent() const
{
    std::optional<SimTime> next = m_schedule.nextDue();
    if (m_faultAt && (!next || *m_faultAt < *next)) next = m_faultAt;
    return next;
}

} // namespace sim
