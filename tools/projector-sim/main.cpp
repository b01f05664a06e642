// SPDX-License-Identifier: MIT
#include "PanelVersion.h"
#include "Runner.h"
#include "SimOptions.h"
#include "Translations.h"
#include "UsageError.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Only for argument handling; the line itself is served by a plain poll() loop.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("projector-sim"));
    QCoreApplication::setApplicationVersion(QLatin1String(PanelVersion));
    Translations::install();

    const sim::ParsedArguments parsed = sim::parseArguments(QCoreApplication::arguments());
    switch (parsed.action) {
    case sim::ParsedArguments::Action::Help:
    case sim::ParsedArguments::Action::Version:
        std::fputs(qPrintable(parsed.text), stdout);
        return 0;
    case sim::ParsedArguments::Action::Error:
        std::fputs(qPrintable(UsageError::line(QStringLiteral("projector-sim"), parsed.text)),
                   stderr);
        return UsageError::ExitStatus;
    case sim::ParsedArguments::Action::Run: break;
    }
    std::fflush(stdout);
    return sim::run(parsed.options);
}
