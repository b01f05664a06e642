// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace sim {

// A reading of the monotonic clock. The model never reads a clock itself: every call is told
// what time it is, so tests can walk it through hours of use in no time.
using SimTime = std::chrono::microseconds;

// The projector's side of the protocol: power sequence, input, lamp hours, orientation, and the
// faults that make it report something other than a plain power state.
class ProjectorModel
{
public:
    enum class Power { StandBy, CountDown, On, CoolingDown };
    enum class Fault { None, Power, Temperature, KeyLock };

    struct Config
    {
        SimTime warmup = std::chrono::seconds(3);
        SimTime cooldown = std::chrono::seconds(3);
        // Real time the lamp must be lit to add one hour to the counter.
        SimTime lampHour = std::chrono::hours(1);
        int startHours = 123;
        char input = '1';               // '1' computer 1, '2' computer 2, '3' video
        std::string orientation = "11"; // as CR4 answers it
    };

    static constexpr char Ack = 6;
    static constexpr int MaxHours = 9999; // what four digits can show

    explicit ProjectorModel(Config config, SimTime now = SimTime::zero());

    // The reply to one command line (without its CR), CR included; empty when the line is no
    // command this device knows, which it leaves unanswered.
    std::string answer(std::string_view line, SimTime now);

    // Brings timed transitions up to now. Every query does this first, so calling it is needed
    // only to observe the state without sending a command.
    void advance(SimTime now);

    // From now on the device reports the fault; Temperature also shuts the lamp down.
    void setFault(Fault fault, SimTime now);

    Power power() const { return m_power; }
    Fault fault() const { return m_fault; }
    char input() const { return m_input; }
    int lampHours() const; // as of the last advance
    std::string powerCode() const;

private:
    void powerOn(SimTime now);
    void powerOff(SimTime now);
    void lampOut(SimTime now);

    Config m_config;
    Power m_power = Power::StandBy;
    Fault m_fault = Fault::None;
    char m_input;
    SimTime m_now;
    SimTime m_phaseEnd{}; // end of the count down or cooling down under way
    SimTime m_litSince{}; // when the lamp came on, while it is on
    SimTime m_litTotal{}; // lit time of earlier sessions
};

} // namespace sim
