// SPDX-License-Identifier: MIT
#pragma once

#include "StatusReads.h"

#include <QString>
#include <QStringView>

#include <optional>

// What the status display shows for a reply's characters, given the command line they answer:
// the window's own words for the decoded reading, kept here with the panel's exchange and never
// put on the bus; for the lamp time, the reply's first characters as RXD traces them. Nothing
// when the command is no status read or its reply decodes to nothing.
std::optional<QString> interpretStatus(QStringView commandText, QStringView reply);
