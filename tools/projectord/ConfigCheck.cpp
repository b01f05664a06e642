// SPDX-License-Identifier: MIT
#include "ConfigCheck.h"

#include "ServiceConfig.h"

#include <cstdio>

namespace ConfigCheck {

Outcome check(const QString &fileName)
{
    const ConfigReport report = ServiceConfig::check(fileName);
    Outcome outcome;
    for (const ConfigError &problem : report.problems) outcome.errors.append(problem.text());
    outcome.usable = report.usable();
    if (!outcome.usable) return outcome;
    const qsizetype n = report.config.projectors.size();
    // As the service's start line counts them.
    outcome.count = QStringLiteral("%1: %2").arg(
        fileName, n == 1 ? QStringLiteral("1 projector") : QStringLiteral("%1 projectors").arg(n));
    return outcome;
}

bool run(const QString &fileName)
{
    const Outcome outcome = check(fileName);
    for (const QString &line : outcome.errors) std::fputs(qPrintable(line + u'\n'), stderr);
    std::fflush(stderr);
    if (!outcome.usable) return false;
    std::fputs(qPrintable(outcome.count + u'\n'), stdout);
    return std::fflush(stdout) == 0;
}

} // namespace ConfigCheck
