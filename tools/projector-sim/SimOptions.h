// SPDX-License-Identifier: MIT
#pragma once

#include "Simulator.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

#include <sys/types.h>

namespace sim {

// Projectors on TCP, one port each from `port` on, as a serial device server serves them.
struct ListenAt
{
    static constexpr int MaxCount = 1000;
    std::string address; // numeric; an IPv6 one without its brackets
    bool v6 = false;
    int port = 0;
    int count = 1;
};

struct Options
{
    QString device; // a real serial port to serve; empty for a pseudo-terminal
    int baud = 19200;
    QString link;               // symbolic link to the pseudo-terminal, made for the run
    std::optional<gid_t> group; // the pseudo-terminal's group, with mode 0660
    QString logFile;            // empty: the log goes to stdout
    bool verbose = false;
    Simulator::Behaviour behaviour;
    std::optional<SimTime> unplugAfter;
    SimTime flood{}; // zero: no flood
    std::optional<ListenAt> listen;
};

struct ParsedArguments
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    Options options;
    QString text; // help, version or error text to print
};

// args[0] is the program name, as in argv.
ParsedArguments parseArguments(const QStringList &args);

} // namespace sim
