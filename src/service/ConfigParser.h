// SPDX-License-Identifier: MIT
#pragma once

#include "ServiceConfig.h"

#include <QByteArray>
#include <QString>

// The configuration's text, read on past a mistake wherever what follows can still be judged;
// the file around it is ServiceConfig's.
struct ParsedConfig
{
    ConfigReport report;
    bool hasPassword = false; // a pjlink-password was given: the file must not be readable by all
    bool hasMqttPassword = false; // the broker's password: the same
};
ParsedConfig parseConfigText(const QString &fileName, const QByteArray &text);
