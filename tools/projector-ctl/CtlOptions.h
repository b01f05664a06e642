// SPDX-License-Identifier: MIT
#pragma once

#include "CommandNames.h"
#include "LineSettings.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

struct CtlOptions
{
    Q_DECLARE_TR_FUNCTIONS(CtlOptions)

public:
    QString device;
    LineSettings settings;
    QString logFile; // empty: no log
    bool json = false;
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
    QString text; // help, version or error text to print
};
