// SPDX-License-Identifier: MIT
#include "ProjectorModel.h"

#include "Commands.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

bool isUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

std::string withCr(std::string s)
{
    s += '\r';
    return s;
}

} // namespace

ProjectorModel::ProjectorModel(Config config, SimTime now)
    : m_config(std::move(config)), m_input(m_config.input), m_now(now)
{
}

void ProjectorModel::advance(SimTime now)
{
    // Time never runs backwards for the device, whatever a caller passes.
    if (now < m_now) now = m_now;
    if (m_power == Power::CountDown && now >= m_phaseEnd) {
        m_power = Power::On;
        m_litSince = m_phaseEnd;
    }
    if (m_power == Power::CoolingDown && now >= m_phaseEnd) m_power = Power::StandBy;
    m_now = now;
}

int ProjectorModel::lampHours() const
{
    SimTime lit = m_litTotal;
    if (m_power == Power::On) lit += m_now - m_litSince;
    const auto hours = m_config.startHours + lit / m_config.lampHour;
    return static_cast<int>(std::min<decltype(hours)>(hours, MaxHours));
}

std::string ProjectorModel::powerCode() const
{
    if (m_fault == Fault::Power) return "10";
    if (m_fault == Fault::KeyLock) return "02";
    unsigned code = 0;
    switch (m_power) {
    case Power::StandBy: code = 0x80; break;
    case Power::CountDown: code = 0x40; break;
    case Power::On: code = 0x00; break;
    case Power::CoolingDown: code = 0x20; break;
    }
    if (m_fault == Fault::Temperature) code |= 0x08;
    char text[3];
    std::snprintf(text, sizeof text, "%02X", code);
    return text;
}

void ProjectorModel::lampOut(SimTime now)
{
    if (m_power == Power::On) m_litTotal += now - m_litSince;
}

void ProjectorModel::powerOn(SimTime now)
{
    if (m_power != Power::StandBy) return; // already on its way up, or must finish cooling
    m_power = Power::CountDown;
    m_phaseEnd = now + m_config.warmup;
    advance(now); // a zero warm-up is on at once
}

void ProjectorModel::powerOff(SimTime now)
{
    if (m_power != Power::CountDown && m_power != Power::On) return;
    lampOut(now);
    m_power = Power::CoolingDown;
    m_phaseEnd = now + m_config.cooldown;
    advance(now);
}

void ProjectorModel::setFault(Fault fault, SimTime now)
{
    advance(now);
    m_fault = fault;
    if (fault == Fault::Power) {
        // The supply is gone: no cooling sequence, the lamp is simply out.
        lampOut(m_now);
        m_power = Power::StandBy;
    } else if (fault == Fault::Temperature) {
        powerOff(m_now);
    }
}

std::string ProjectorModel::answer(std::string_view line, SimTime now)
{
    advance(now);
    if (line.size() != 3 || line[0] != 'C') return {};

    if (line == Code::ReadPower) return withCr(powerCode());
    if (line == Code::ReadInput) return withCr(std::string(1, m_input));
    if (line == Code::ReadLampHours) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04d", lampHours());
        return withCr(digits);
    }
    if (line == Code::ReadOrientation) return withCr(m_config.orientation);
    // Any other code is acknowledged, the projector's own and unknown ones alike; other status
    // reads are not answered.
    if (!isUpperHex(line[1]) || !isUpperHex(line[2])) return {};

    // A faulty or locked device still acknowledges, it just does not act.
    const bool acts = m_fault == Fault::None || m_fault == Fault::Temperature;
    if (acts) {
        if (line == Code::PowerOn && m_fault == Fault::None)
            powerOn(m_now);
        else if (line == Code::PowerOff)
            powerOff(m_now);
        else if (line == Code::InputComputer1)
            m_input = '1';
        else if (line == Code::InputComputer2)
            m_input = '2';
        else if (line == Code::InputVideo)
            m_input = '3';
    }
    return std::string{Ack, '\r'};
}

} // namespace sim
