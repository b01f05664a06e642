// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// projectord --check: the configuration read as the service reads it, with nothing started.
namespace ConfigCheck {

struct Outcome
{
    QStringList errors; // every problem, by line, warnings among them
    QString count;      // for a file the service would run on: "FILE: N projectors"
    bool usable = false;
};

Outcome check(const QString &fileName);
// Prints the problems on standard error and the count on standard output; false when the
// service would refuse the file or the count could not be written.
bool run(const QString &fileName);

} // namespace ConfigCheck
