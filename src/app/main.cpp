// SPDX-License-Identifier: MIT
#include "CommandLine.h"
#include "DeviceLink.h"
#include "DeviceMemory.h"
#include "DeviceMenu.h"
#include "EndOnSignals.h"
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
#include <QImageReader>
#include <QPixmap>

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

// Ended by a logout, a shutdown, a closed terminal or Ctrl-C, the panel ends as when its window
// is closed: the port is closed, which removes its lock file; a lock left behind would keep the
// device from projectord or the next program.
void endOnSignals(SerialLink &link)
{
    EndOnSignals::install(QCoreApplication::instance(), [&link](int) {
        link.close();
        QCoreApplication::exit(0);
    });
}

void reportStartFailure(const SerialLink &link, const PortLister &ports)
{
    const QString report = StartFailure::report(link.errorString(), describe(ports()));
    std::fprintf(stderr, "projector-panel: %s\n", qPrintable(report));
}

// Without a screen port 1 is still tried, under a core application that needs none, so that
// its failure is reported as on any start; only then does the missing screen end the run.
int runWithoutScreen(int argc, char *argv[], const DeviceMemory &memory,
                     const CommandLine::Outcome &options)
{
    QCoreApplication app(argc, argv);
    Translations::install();
    DeviceLink link(deviceFor(1, memory, options), deviceFor(2, memory, options));
    // A device that projectord holds is shared through it.
    link.setThroughService(true);
    Panel panel(link, PreciseTimer::factory());
    endOnSignals(link);
    const PortLister ports = PortList::system;
    const auto noScreen = [] {
        std::fprintf(stderr, "projector-panel: %s\n", qPrintable(StartFailure::noScreen()));
    };
    QObject::connect(&panel.ports(), &PortControl::started, &app, [&] {
        noScreen();
        QCoreApplication::exit(CommandLine::ExitPortOneFailed);
    });
    QObject::connect(&panel.ports(), &PortControl::startFailed, &app, [&] {
        reportStartFailure(link, ports);
        QCoreApplication::exit(CommandLine::ExitPortOneFailed);
    });
    if (!panel.load()) {
        reportStartFailure(link, ports);
        return CommandLine::ExitPortOneFailed;
    }
    if (!panel.ports().isStarting()) {
        noScreen();
        link.close();
        return CommandLine::ExitPortOneFailed;
    }
    const int status = QCoreApplication::exec();
    link.close();
    return status;
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
    if (!StartFailure::screenExpected()) return runWithoutScreen(argc, argv, memory, options);

    QApplication app(argc, argv);
    // Until the window is shown: the start-up chooser's closing must not end the run.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    const QString id = QStringLiteral("io.github.projector_panel.ProjectorPanel");
    QGuiApplication::setDesktopFileName(id);
    // The desktop's launcher takes the theme's icon by the desktop file's name; the window's
    // own is built in.
    QIcon icon;
    // Read as PNG, without asking every image plugin (each loaded for it) what it can read.
    for (const int size : {32, 64, 128}) {
        QImageReader reader(QStringLiteral(":/icons/%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    QApplication::setWindowIcon(icon);
    Translations::install();
    Form1::prepareApplication();

    DeviceLink link(deviceFor(1, memory, options), deviceFor(2, memory, options));
    // A device that projectord holds is shared through it.
    link.setThroughService(true);
    Panel panel(link, PreciseTimer::factory());
    endOnSignals(link);
    Form1 form(panel);
    form.place();
    TrafficLog log(panel.exchange(), link);
    QObject::connect(&log, &TrafficLog::failed, &form,
                     [&form](const TrafficLogFailure &failure) { form.warn(failure.text()); });
    if (options.isSet(QStringLiteral("log"))) (void)log.open(options.value(QStringLiteral("log")));
    const PortLister ports = PortList::system;
    DeviceMenu devices(form, panel, link, memory, ports);
    // Port 1 opens before the window is shown; one that is still connecting is waited for in
    // the event loop, as is the operator's answer in the chooser.
    const auto show = [&form] {
        QGuiApplication::setQuitOnLastWindowClosed(true);
        form.show();
    };
    // Without a screen (offscreen, minimal) nobody could answer the chooser.
    const QString platform = QGuiApplication::platformName();
    const bool canAsk =
        platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    bool choosing = false;
    const auto failed = [&] {
        if (!canAsk) {
            reportStartFailure(link, ports);
            return QCoreApplication::exit(CommandLine::ExitPortOneFailed);
        }
        choosing = true;
        StartupChooser::openPortOne(panel, link, memory, ports, form.windowTitle(),
                                    [&](bool opened) {
                                        if (opened) return show();
                                        reportStartFailure(link, ports);
                                        QCoreApplication::exit(CommandLine::ExitPortOneFailed);
                                    });
    };
    QObject::connect(&panel.ports(), &PortControl::started, &form, [&] {
        if (!choosing) show();
    });
    QObject::connect(&panel.ports(), &PortControl::startFailed, &form, [&] {
        if (!choosing) failed();
    });
    if (!panel.load()) {
        if (!canAsk) {
            reportStartFailure(link, ports);
            return CommandLine::ExitPortOneFailed;
        }
        failed();
    } else if (!panel.ports().isStarting()) {
        show();
    }
    const int status = QApplication::exec();
    link.close(); // so that the log's last line says so
    return status;
}
