// SPDX-License-Identifier: MIT
#include "CommandLine.h"
#include "DeviceLink.h"
#include "DeviceMemory.h"
#include "DeviceMenu.h"
#include "Form1.h"
#include "Panel.h"
#include "PanelVersion.h"
#include "PortList.h"
#include "StartFailure.h"
#include "StartupChooser.h"
#include "TrafficLog.h"
#include "Translations.h"

#include <QApplication>
#include <QIcon>

#include <csignal>
#include <cstdio>

namespace {

QStringList describe(const QList<FoundPort> &found)
{
    QStringList ports;
    for (const FoundPort &port : found) {
        QString line = port.device;
        if (!port.description.isEmpty()) line += QStringLiteral(" (%1)").arg(port.description);
        ports << line;
    }
    return ports;
}

// Read before the window's application object, which needs a screen: --help or a typo must not.
// A plain core application meanwhile lets --help speak the operator's language.
CommandLine::Outcome readCommandLine(int argc, char *argv[], const DeviceMemory &memory)
{
    QCoreApplication app(argc, argv);
    Translations::install();
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return CommandLine(memory.deviceFor(1), memory.deviceFor(2)).parse(args);
}

// A device given on the command line is for this run only; otherwise the remembered one.
QString deviceFor(int port, const DeviceMemory &memory, const CommandLine::Outcome &options)
{
    const QString name = QStringLiteral("com%1").arg(port);
    return memory.deviceFor(port, options.isSet(name) ? options.value(name) : QString());
}

} // namespace

int main(int argc, char *argv[])
{
    // A traffic log into a pipe whose reader has gone (--log >(head)) fails a write instead of
    // ending the panel with the port unclosed.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication::setOrganizationName(QStringLiteral("projector-panel"));
    QCoreApplication::setApplicationName(QStringLiteral("projector-panel"));
    QCoreApplication::setApplicationVersion(QLatin1String(PanelVersion));
    DeviceMemory memory;
    const CommandLine::Outcome options = readCommandLine(argc, argv, memory);
    if (!options.run) {
        std::fputs(qPrintable(options.out), stdout);
        std::fputs(qPrintable(options.err), stderr);
        return options.exitStatus;
    }

    QApplication app(argc, argv);
    const QString id = QStringLiteral("io.github.projector_panel.ProjectorPanel");
    QGuiApplication::setDesktopFileName(id);
    QApplication::setWindowIcon(
        QIcon::fromTheme(id, QIcon(QStringLiteral(":/icons/%1.svg").arg(id))));
    Translations::install();
    Form1::prepareApplication();

    DeviceLink link(deviceFor(1, memory, options), deviceFor(2, memory, options));
    Panel panel(link, PreciseTimer::factory());
    Form1 form(panel);
    form.place();
    TrafficLog log(panel.exchange(), link);
    QObject::connect(&log, &TrafficLog::failed, &form,
                     [&form](const TrafficLogFailure &failure) { form.warn(failure.text()); });
    if (options.isSet(QStringLiteral("log"))) (void)log.open(options.value(QStringLiteral("log")));
    const PortLister ports = PortList::system;
    DeviceMenu devices(form, panel, link, memory, ports);
    if (!panel.load()) {
        // Without a screen (offscreen, minimal) nobody could answer the box.
        const QString platform = QGuiApplication::platformName();
        const bool canAsk =
            platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
        if (!canAsk ||
            !StartupChooser::openPortOne(panel, link, memory, ports, form.windowTitle())) {
            const QString report = StartFailure::report(link.errorString(), describe(ports()));
            std::fprintf(stderr, "projector-panel: %s\n", qPrintable(report));
            return CommandLine::ExitPortOneFailed;
        }
    }
    form.show();
    const int status = QApplication::exec();
    link.close(); // so that the log's last line says so
    return status;
}
