// SPDX-License-Identifier: MIT
#include "CommandLine.h"
#include "PanelVersion.h"

#include "NetAddress.h"
#include "ServiceNames.h"
#include "UsageError.h"

#include <QCommandLineParser>

namespace {

const QString Program = QStringLiteral("projector-panel");

struct QtOption
{
    const char *name;
    const char *valueName; // nullptr for a switch
    const char *description;
};

// The application object takes these out of the arguments itself. They are accepted here so
// that "-platform offscreen" or "-reverse" still reach it, and only --help-all lists them.
constexpr QtOption QtOptions[] = {
    {"platform", "NAME[:OPTIONS]",
     QT_TRANSLATE_NOOP("CommandLine", "Window system plugin, such as xcb, wayland or offscreen.")},
    {"platformpluginpath", "PATH",
     QT_TRANSLATE_NOOP("CommandLine", "Directory of the window system plugins.")},
    {"platformtheme", "THEME", QT_TRANSLATE_NOOP("CommandLine", "Platform theme.")},
    {"plugin", "PLUGIN",
     QT_TRANSLATE_NOOP("CommandLine", "Another plugin to load; may be given more than once.")},
    {"qwindowgeometry", "GEOMETRY",
     QT_TRANSLATE_NOOP("CommandLine", "Window geometry as WIDTHxHEIGHT+X+Y.")},
    {"qwindowicon", "ICON", QT_TRANSLATE_NOOP("CommandLine", "Window icon.")},
    {"qwindowtitle", "TITLE", QT_TRANSLATE_NOOP("CommandLine", "Window title.")},
    {"reverse", nullptr, QT_TRANSLATE_NOOP("CommandLine", "Lay the window out right to left.")},
    {"session", "SESSION", QT_TRANSLATE_NOOP("CommandLine", "Restore an earlier session.")},
    {"style", "STYLE", QT_TRANSLATE_NOOP("CommandLine", "Widget style.")},
    {"stylesheet", "FILE", QT_TRANSLATE_NOOP("CommandLine", "Style sheet to apply.")},
    {"widgetcount", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "Print the number of widgets left at exit.")},
    {"display", "DISPLAY", QT_TRANSLATE_NOOP("CommandLine", "X display to use, not $DISPLAY.")},
    {"name", "NAME", QT_TRANSLATE_NOOP("CommandLine", "X instance name.")},
    {"visual", "ID", QT_TRANSLATE_NOOP("CommandLine", "X visual to use.")},
    {"geometry", "GEOMETRY", QT_TRANSLATE_NOOP("CommandLine", "--qwindowgeometry, on X.")},
    {"title", "TITLE", QT_TRANSLATE_NOOP("CommandLine", "--qwindowtitle, on X.")},
    {"icon", "ICON", QT_TRANSLATE_NOOP("CommandLine", "--qwindowicon, on X.")},
    {"nograb", nullptr, QT_TRANSLATE_NOOP("CommandLine", "Never grab the mouse, on X.")},
    {"dograb", nullptr,
     QT_TRANSLATE_NOOP("CommandLine", "Grab the mouse even in a debugger, on X.")},
};

// A device server's address is checked here, so that a typing error in it is a wrong command
// line like any other, not a port that fails to open.
template <int Port> QString checkDevice(const QString &value)
{
    QString wrong = UsageError::checkValue(value, UsageError::Value::Device);
    if (wrong.isEmpty()) wrong = NetAddress::problem(value, Port);
    return wrong.isEmpty() ? ServiceNames::problem(value, Port) : wrong;
}

QString checkFile(const QString &value)
{
    return UsageError::checkValue(value, UsageError::Value::File);
}

} // namespace

CommandLine::CommandLine(const QString &defaultCom1, const QString &defaultCom2)
    : m_description(tr("Control panel for data/video projectors on an RS-232 line.\n"
                       "Port 1 and port 2 are %1 and %2 unless set otherwise.\n"
                       "\n"
                       "Exit status:\n"
                       "  0  the window was closed, or help or the version was shown\n"
                       "  1  serial port 1 could not be opened at start\n"
                       "  2  the command line was wrong")
                        .arg(defaultCom1, defaultCom2)),
      // An option is one entry here; main() reads it with Outcome::value() or Outcome::isSet().
      m_options{
          {QStringLiteral("com1"),
           tr("Use DEVICE as serial port 1: a USB adapter, a /dev/serial/by-id/ link, a "
              "pseudo-terminal, a serial device server as socket://HOST:PORT (raw TCP) or "
              "rfc2217://HOST:PORT (RFC 2217), or service:NAME for a projector that projectord "
              "holds. A device that projectord holds is reached through it."),
           QStringLiteral("DEVICE"), defaultCom1, checkDevice<1>},
          {QStringLiteral("com2"), tr("Use DEVICE as serial port 2, in the same forms."),
           QStringLiteral("DEVICE"), defaultCom2, checkDevice<2>},
          {QStringLiteral("log"), tr("Append the traffic and the port's events to FILE."),
           QStringLiteral("FILE"), QString(), checkFile},
      }
{
}

void CommandLine::setUp(QCommandLineParser &parser, bool listQtOptions) const
{
    parser.setApplicationDescription(m_description);
    // Qt's own options are single-dash words ("-platform"), not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    for (const Option &o : m_options) {
        QCommandLineOption option(o.name, o.description, o.valueName, o.defaultValue);
        parser.addOption(option);
    }
    for (const QtOption &q : QtOptions) {
        QCommandLineOption option(QString::fromLatin1(q.name), tr(q.description),
                                  QString::fromLatin1(q.valueName));
        if (!listQtOptions) option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

CommandLine::Outcome CommandLine::parse(const QStringList &args) const
{
    Outcome outcome;
    auto usageError = [&](const QString &message) {
        outcome.exitStatus = ExitUsage;
        outcome.err = UsageError::line(Program, message);
        return outcome;
    };
    auto exitWith = [&](const QString &out) {
        outcome.out = out;
        return outcome;
    };

    QCommandLineParser parser;
    setUp(parser, false);
    if (!parser.parse(args)) return usageError(UsageError::describe(parser, args));
    // Without an application object the parser cannot name the program.
    const QString usageName = args.isEmpty() ? Program : args.first();
    auto help = [&](const QCommandLineParser &p) {
        return p.helpText().replace(QLatin1String("<executable_name>"), usageName);
    };
    if (parser.isSet(QStringLiteral("version")))
        return exitWith(QStringLiteral("%1 %2\n").arg(Program, QLatin1String(PanelVersion)));
    if (parser.isSet(QStringLiteral("help"))) return exitWith(help(parser));
    if (parser.isSet(QStringLiteral("help-all"))) {
        QCommandLineParser all;
        setUp(all, true);
        return exitWith(help(all));
    }

    for (const Option &o : m_options) {
        if (parser.isSet(o.name)) outcome.given << o.name;
        if (o.valueName.isEmpty()) continue;
        const QString value = parser.value(o.name);
        if (o.check && parser.isSet(o.name)) {
            const QString wrong = o.check(value);
            if (!wrong.isEmpty()) return usageError(QStringLiteral("--%1: %2").arg(o.name, wrong));
        }
        outcome.values.insert(o.name, value);
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            tr("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    outcome.run = true;
    return outcome;
}
