// SPDX-License-Identifier: MIT
#pragma once

#include "Commands.h"
#include "LineSettings.h"
#include "UsageError.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

struct CtlOptions
{
    Q_DECLARE_TR_FUNCTIONS(CtlOptions)

public:
    // The program's exit statuses, as --help and the manual page list them.
    enum ExitStatus {
        ExitAnswered = 0, // every command was answered; or help or the version was shown
        ExitFailed = 1,   // the device could not be opened or written, or went away
        ExitUsage = UsageError::ExitStatus,
        ExitNoReply = 3,      // a command got no reply within its window
        ExitOutputFailed = 4, // the output could not be written; the run stopped there
        ExitSignalBase = 128, // plus the signal's number
    };
    // The line speeds a projector takes; the first is the default.
    static constexpr std::array<qint32, 2> Speeds{19200, 9600};

    QString device;
    LineSettings settings;
    bool speedAsked = false; // --speed was given; otherwise `settings` are only the default
    QString logFile;         // empty: no log
    bool json = false;
    bool list = false; // --list: the projectors projectord holds, no command
    QList<NamedCommand> commands;

    struct Parsed;
    // args[0] is the program name, as in argv. Every command is checked before anything is
    // sent, so a typing error in the last one sends none of them.
    static Parsed parse(const QStringList &args);
};

struct CtlOptions::Parsed
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    CtlOptions options;
    // Help or version text for standard output, or the usage error's line for standard error.
    QString text;
};
