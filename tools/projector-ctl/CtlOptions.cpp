// SPDX-License-Identifier: MIT
#include "CtlOptions.h"

#include "Commands.h"
#include "DeviceLink.h"
#include "NetAddress.h"
#include "ServiceNames.h"

#include <QCommandLineParser>

#include <algorithm>

namespace {

const QString Program = QStringLiteral("projector-ctl");

struct ExitRow
{
    const char *status;
    const char *meaning;
};
constexpr ExitRow ExitRows[] = {
    {"0", QT_TRANSLATE_NOOP("CtlOptions",
                            "every command was answered, or help or the version was shown")},
    {"1", QT_TRANSLATE_NOOP("CtlOptions", "the device could not be opened or written, or it went "
                                          "away")},
    {"2", QT_TRANSLATE_NOOP("CtlOptions", "the command line was wrong; nothing was sent")},
    {"3", QT_TRANSLATE_NOOP("CtlOptions", "a command got no reply within its reply window")},
    {"4", QT_TRANSLATE_NOOP("CtlOptions", "the output could not be written; the commands after "
                                          "it were not sent")},
    {"128+N", QT_TRANSLATE_NOOP("CtlOptions", "ended by signal N, after closing the port")},
};
static_assert(CtlOptions::ExitAnswered == 0 && CtlOptions::ExitFailed == 1 &&
                  CtlOptions::ExitUsage == 2 && CtlOptions::ExitNoReply == 3 &&
                  CtlOptions::ExitOutputFailed == 4 && CtlOptions::ExitSignalBase == 128,
              "the exit statuses --help lists");

QString exitStatusText()
{
    QString text = CtlOptions::tr("Exit status:") + u'\n';
    for (const ExitRow &row : ExitRows)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QLatin1String(row.status), CtlOptions::tr(row.meaning));
    return text;
}

// What is wrong with the device, or an empty string: a device server's address is checked
// here, so that a typing error in it is a wrong command line, not a failed open.
QString checkDevice(const QString &value)
{
    QString wrong = UsageError::checkValue(value, UsageError::Value::Device);
    if (wrong.isEmpty()) wrong = NetAddress::problem(value, 1);
    return wrong.isEmpty() ? ServiceNames::problem(value, 1) : wrong;
}

} // namespace

CtlOptions::Parsed CtlOptions::parse(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        tr("Sends commands to a projector on a serial line, one at a time, and prints each reply.\n"
           "Each reply is awaited for %1 ms before the next command goes out.")
            .arg(ReplyWindow.count()));
    const QCommandLineOption device(
        QStringLiteral("device"),
        tr("The serial device (default %1), socket://HOST:PORT or rfc2217://HOST:PORT, or "
           "service:NAME for a projector that projectord holds. A device that projectord holds "
           "is reached through it.")
            .arg(DeviceLink::defaultDevice(1)),
        QStringLiteral("DEV"), DeviceLink::defaultDevice(1));
    const QCommandLineOption speed(
        QStringLiteral("speed"),
        tr("Line speed: %1 (default) or %2.").arg(Speeds[0]).arg(Speeds[1]), QStringLiteral("N"),
        QString::number(Speeds[0]));
    const QCommandLineOption log(QStringLiteral("log"),
                                 tr("Append the traffic and the port's events to FILE."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  tr("Print one JSON object per command instead of a text line."));
    const QCommandLineOption list(
        QStringLiteral("list"),
        tr("List the projectors that projectord holds, with their state, instead of sending "
           "commands; with --json, one JSON object per projector."));
    p.addOptions({device, speed, log, json, list});
    p.addPositionalArgument(QStringLiteral("COMMAND"), tr("A command name or code, see below."),
                            QStringLiteral("COMMAND..."));
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();

    Parsed result;
    auto usageError = [&](const QString &message) {
        result.text = UsageError::line(Program, message);
        return result;
    };
    if (!p.parse(args)) return usageError(UsageError::describe(p, args));
    if (p.isSet(help)) {
        result.action = Parsed::Action::Help;
        result.text = p.helpText() + u'\n' + tr("Commands (name, then code):") + u'\n';
        for (const NamedCommand &c : namedCommands())
            result.text += QStringLiteral("  %1 %2\n").arg(c.name, -30).arg(c.code);
        result.text += tr("Codes are accepted as well as names. The commands of buttons that\n"
                          "repeat while held are sent once.\n");
        result.text += u'\n' + exitStatusText();
        return result;
    }
    if (p.isSet(version)) {
        result.action = Parsed::Action::Version;
        result.text =
            QStringLiteral("%1 %2\n").arg(Program, QCoreApplication::applicationVersion());
        return result;
    }

    CtlOptions &o = result.options;
    const QString speedText = p.value(speed);
    if (std::find_if(Speeds.begin(), Speeds.end(),
                     [&](qint32 s) { return speedText == QString::number(s); }) == Speeds.end())
        return usageError(tr("--speed: expected %1 or %2, got \"%3\"")
                              .arg(Speeds[0])
                              .arg(Speeds[1])
                              .arg(speedText));
    o.settings = *LineSettings::parse(speedText + QStringLiteral(",N,8,1"));
    o.speedAsked = p.isSet(speed);
    const QString deviceWrong = p.isSet(device) ? checkDevice(p.value(device)) : QString();
    if (!deviceWrong.isEmpty()) return usageError(QStringLiteral("--device: ") + deviceWrong);
    const QString logWrong =
        p.isSet(log) ? UsageError::checkValue(p.value(log), UsageError::Value::File) : QString();
    if (!logWrong.isEmpty()) return usageError(QStringLiteral("--log: ") + logWrong);
    o.device = p.value(device);
    o.logFile = p.value(log);
    o.json = p.isSet(json);
    o.list = p.isSet(list);
    if (o.list) {
        if (p.isSet(device))
            return usageError(tr("--list lists every projector; give no --device"));
        if (!p.positionalArguments().isEmpty())
            return usageError(tr("--list sends no command; \"%1\" is one too many")
                                  .arg(p.positionalArguments().constFirst()));
        result.action = Parsed::Action::Run;
        return result;
    }
    if (p.positionalArguments().isEmpty()) return usageError(tr("no command given"));
    for (const QString &word : p.positionalArguments()) {
        const auto command = findCommand(word);
        if (!command) return usageError(tr("unknown command \"%1\"").arg(word));
        o.commands.append(*command);
    }
    result.action = Parsed::Action::Run;
    return result;
}
