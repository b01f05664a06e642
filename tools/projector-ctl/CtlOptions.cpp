// SPDX-License-Identifier: MIT
#include "CtlOptions.h"

#include "DeviceLink.h"

#include <QCommandLineParser>

CtlOptions::Parsed CtlOptions::parse(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        tr("Sends commands to a projector on a serial line, one at a time, and prints each reply.\n"
           "Each reply is awaited for 500 ms before the next command goes out."));
    const QCommandLineOption device(
        QStringLiteral("device"),
        tr("The serial device (default %1), or socket://HOST:PORT or rfc2217://HOST:PORT.")
            .arg(DeviceLink::defaultDevice(1)),
        QStringLiteral("DEV"), DeviceLink::defaultDevice(1));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   tr("Line speed: 19200 (default) or 9600."), QStringLiteral("N"),
                                   QStringLiteral("19200"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 tr("Append the traffic and the port's events to FILE."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  tr("Print one JSON object per command instead of a text line."));
    p.addOptions({device, speed, log, json});
    p.addPositionalArgument(QStringLiteral("COMMAND"), tr("A command name or code, see below."),
                            QStringLiteral("COMMAND..."));
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();

    Parsed result;
    if (!p.parse(args)) {
        result.text = p.errorText();
        return result;
    }
    if (p.isSet(help)) {
        result.action = Parsed::Action::Help;
        result.text = p.helpText() + u'\n' + tr("Commands (name, then code):") + u'\n';
        for (const NamedCommand &c : namedCommands())
            result.text += QStringLiteral("  %1 %2\n").arg(c.name, -30).arg(c.code);
        result.text += tr("Codes are accepted as well as names. The commands of buttons that\n"
                          "repeat while held are sent once.\n");
        return result;
    }
    if (p.isSet(version)) {
        result.action = Parsed::Action::Version;
        result.text =
            QStringLiteral("projector-ctl %1\n").arg(QCoreApplication::applicationVersion());
        return result;
    }

    CtlOptions &o = result.options;
    const QString speedText = p.value(speed);
    if (speedText != QLatin1String("19200") && speedText != QLatin1String("9600")) {
        result.text = tr("--speed: expected 19200 or 9600, got \"%1\"").arg(speedText);
        return result;
    }
    o.settings = *LineSettings::parse(speedText + QStringLiteral(",N,8,1"));
    o.device = p.value(device);
    o.logFile = p.value(log);
    o.json = p.isSet(json);
    if (p.positionalArguments().isEmpty()) {
        result.text = tr("no command given");
        return result;
    }
    for (const QString &word : p.positionalArguments()) {
        const auto command = findCommand(word);
        if (!command) {
            result.text = tr("unknown command \"%1\"").arg(word);
            return result;
        }
        o.commands.append(*command);
    }
    result.action = Parsed::Action::Run;
    return result;
}
