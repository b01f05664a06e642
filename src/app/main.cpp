// SPDX-License-Identifier: MIT
#include "DeviceLink.h"
#include "Form1.h"
#include "Panel.h"
#include "PanelVersion.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSerialPortInfo>

#include <cstdio>

namespace {

// The report when port 1 cannot be opened at start: the cause, what exists, and how to point
// the panel elsewhere.
QString startFailureReport(const QString &description)
{
    QStringList ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        QString line = info.systemLocation();
        if (!info.description().isEmpty()) line += QStringLiteral(" (%1)").arg(info.description());
        ports << line;
    }
    QString report = description + QStringLiteral("\n\n");
    report += ports.isEmpty() ? QStringLiteral("No serial ports were found on this computer.\n")
                              : QStringLiteral("Serial ports found: %1.\n").arg(ports.join(u", "));
    report += QStringLiteral("Start the panel with --com1 DEVICE (and --com2 DEVICE) to use another "
                             "device, for example --com1 /dev/ttyUSB0.");
    return report;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("projector-panel"));
    QApplication::setApplicationVersion(QLatin1String(PanelVersion));
    Form1::prepareApplication();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Control panel for data/video projectors on an RS-232 line.\n"
        "Port 1 and port 2 are %1 and %2 unless set otherwise.")
                                         .arg(DeviceLink::defaultDevice(1),
                                              DeviceLink::defaultDevice(2)));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption com1(QStringLiteral("com1"),
                                  QStringLiteral("Use DEVICE as serial port 1 (a USB adapter, a "
                                                 "/dev/serial/by-id/ link, a pseudo-terminal)."),
                                  QStringLiteral("DEVICE"), DeviceLink::defaultDevice(1));
    const QCommandLineOption com2(QStringLiteral("com2"), QStringLiteral("Use DEVICE as serial port 2."),
                                  QStringLiteral("DEVICE"), DeviceLink::defaultDevice(2));
    parser.addOption(com1);
    parser.addOption(com2);
    parser.process(app);

    DeviceLink link(parser.value(com1), parser.value(com2));
    Panel panel(link, PreciseTimer::factory());
    Form1 form(panel);
    form.place();
    if (!panel.load()) {
        const QString report = startFailureReport(link.errorString());
        std::fprintf(stderr, "projector-panel: %s\n", qPrintable(report));
        // Without a screen (offscreen, minimal) nobody could close the box.
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
            QMessageBox::critical(nullptr, form.windowTitle(), report);
        return 1;
    }
    form.show();
    return QApplication::exec();
}
