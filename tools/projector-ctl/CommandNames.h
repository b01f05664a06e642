// SPDX-License-Identifier: MIT
#pragma once

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// A command of the panel's one-shot and held tables under a name for the command line.
struct NamedCommand
{
    QString name;           // "power-on"
    QLatin1StringView code; // "C00"
};

// Every command of the panel's one-shot and held buttons, in button order, under the name a
// script uses for it. The names are part of the program's interface and never change.
const QList<NamedCommand> &namedCommands();

// A name or a three-character code, in any case.
std::optional<NamedCommand> findCommand(QStringView nameOrCode);
