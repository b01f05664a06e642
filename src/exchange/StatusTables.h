// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// What the status display shows for the trace of a reply, given the command line it answers.
// Nothing when the command is no status read or no row of its table matches.
std::optional<QString> interpretStatus(const QString &commandText, const QString &replyTrace);
