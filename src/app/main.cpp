// SPDX-License-Identifier: MIT
#include "CommandLine.h"
#include "Form1.h"
#include "Panel.h"
#include "DeviceLink.h"
#include "StartFailure.h"
#include "TrafficLog.h"

#include <QApplication>
#include <QMessageBox>
#include <QSerialPortInfo>

#include <cstdio>

namespace {

QStringList serialPorts()
{
    // Test hook: when PROJECTOR_PANEL_PORT_LIST is set, its comma-separated entries are the
    // ports reported (none if it is empty). Listing the real ones opens every /dev/ttyS*, which
    // no test may touch.
    if (qEnvironmentVariableIsSet("PROJECTOR_PANEL_PORT_LIST"))
        return qEnvironmentVariable("PROJECTOR_PANEL_PORT_LIST")
            .split(QLatin1Char(','), Qt::SkipEmptyParts);
    QStringList ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        QString line = info.systemLocation();
        if (!info.description().isEmpty()) line += QStringLiteral(" (%1)").arg(info.description());
        ports << line;
    }
    return ports;
}

} // namespace

int main(int argc, char *argv[])
{
    // Read before the application object, which needs a screen: --help or a typo must not.
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const CommandLine::Outcome options =
        CommandLine(DeviceLink::defaultDevice(1), DeviceLink::defaultDevice(2)).parse(args);
    if (!options.run) {
        std::fputs(qPrintable(options.out), stdout);
        std::fputs(qPrintable(options.err), stderr);
        return options.exitStatus;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("projector-panel"));
    QApplication::setApplicationVersion(QStringLiteral(PANEL_VERSION));
    Form1::prepareApplication();

    DeviceLink link(options.value(QStringLiteral("com1")), options.value(QStringLiteral("com2")));
    Panel panel(link, PreciseTimer::factory());
    Form1 form(panel);
    form.place();
    TrafficLog log(panel.exchange(), link);
    QObject::connect(&log, &TrafficLog::failed, &form, &Form1::warn);
    if (options.isSet(QStringLiteral("log"))) (void)log.open(options.value(QStringLiteral("log")));
    if (!panel.load()) {
        const QString report = StartFailure::report(link.errorString(), serialPorts());
        std::fprintf(stderr, "projector-panel: %s\n", qPrintable(report));
        // Without a screen (offscreen, minimal) nobody could close the box.
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
            QMessageBox::critical(nullptr, form.windowTitle(), report);
        return CommandLine::ExitPortOneFailed;
    }
    form.show();
    const int status = QApplication::exec();
    link.close(); // so that the log's last line says so
    return status;
}
