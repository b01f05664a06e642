// SPDX-License-Identifier: MIT
#include "DeviceLink.h"
#include "DeviceMemory.h"
#include "DeviceMenu.h"
#include "Form1.h"
#include "Panel.h"
#include "PortList.h"
#include "StartupChooser.h"
#include "Translations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>

namespace {

// The report when port 1 cannot be opened at start: the cause, what exists, and how to point
// the panel elsewhere.
QString startFailureReport(const QString &description, const QList<FoundPort> &found)
{
    QStringList ports;
    for (const FoundPort &port : found) {
        QString line = port.device;
        if (!port.description.isEmpty()) line += QStringLiteral(" (%1)").arg(port.description);
        ports << line;
    }
    QString report = description + QStringLiteral("\n\n");
    report +=
        ports.isEmpty()
            ? QCoreApplication::translate("main", "No serial ports were found on this computer.\n")
            : QCoreApplication::translate("main", "Serial ports found: %1.\n")
                  .arg(ports.join(u", "));
    report += QCoreApplication::translate(
        "main", "Start the panel with --com1 DEVICE (and --com2 DEVICE) to use another "
                "device, for example --com1 /dev/ttyUSB0.");
    return report;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("projector-panel"));
    QApplication::setApplicationName(QStringLiteral("projector-panel"));
    QApplication::setApplicationVersion(QStringLiteral(PANEL_VERSION));
    const QString id = QStringLiteral("io.github.projector_panel.ProjectorPanel");
    QGuiApplication::setDesktopFileName(id);
    QApplication::setWindowIcon(
        QIcon::fromTheme(id, QIcon(QStringLiteral(":/icons/%1.svg").arg(id))));
    Translations::install();
    Form1::prepareApplication();

    DeviceMemory memory;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main",
                                    "Control panel for data/video projectors on an RS-232 line.\n"
                                    "Port 1 and port 2 are %1 and %2: the devices last chosen "
                                    "in the window, or the platform's first two.")
            .arg(memory.deviceFor(1), memory.deviceFor(2)));
    parser.addHelpOption();
    parser.addVersionOption();
    const QString deviceValue = QCoreApplication::translate("main", "DEVICE");
    const QCommandLineOption com1(
        QStringLiteral("com1"),
        QCoreApplication::translate("main",
                                    "Use DEVICE as serial port 1 for this run (a USB adapter, "
                                    "a /dev/serial/by-id/ link, a pseudo-terminal)."),
        deviceValue);
    const QCommandLineOption com2(
        QStringLiteral("com2"),
        QCoreApplication::translate("main", "Use DEVICE as serial port 2 for this run."),
        deviceValue);
    parser.addOption(com1);
    parser.addOption(com2);
    parser.process(app);

    DeviceLink link(memory.deviceFor(1, parser.value(com1)),
                    memory.deviceFor(2, parser.value(com2)));
    Panel panel(link, PreciseTimer::factory());
    Form1 form(panel);
    form.place();
    const PortLister ports = PortList::system;
    DeviceMenu devices(form, panel, link, memory, ports);
    if (!panel.load()) {
        // Without a screen (offscreen, minimal) nobody could answer the box.
        const QString platform = QGuiApplication::platformName();
        const bool canAsk =
            platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
        if (!canAsk ||
            !StartupChooser::openPortOne(panel, link, memory, ports, form.windowTitle())) {
            const QString report = startFailureReport(link.errorString(), ports());
            std::fprintf(stderr, "projector-panel: %s\n", qPrintable(report));
            return 1;
        }
    }
    form.show();
    return QApplication::exec();
}
