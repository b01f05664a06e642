// SPDX-License-Identifier: MIT
#include "UsageError.h"

#include <QCommandLineParser>

namespace {

// The options given before "--", which ends them.
QStringList optionArguments(const QStringList &args)
{
    QStringList options;
    for (qsizetype i = 1; i < args.size() && args[i] != QLatin1String("--"); ++i)
        if (args[i].startsWith(QLatin1Char('-')) && args[i] != QLatin1String("-"))
            options << args[i];
    return options;
}

QString nameOf(const QString &option)
{
    const qsizetype dashes = option.startsWith(QLatin1String("--")) ? 2 : 1;
    return option.mid(dashes).section(QLatin1Char('='), 0, 0);
}

} // namespace

QString UsageError::describe(const QCommandLineParser &parser, const QStringList &args)
{
    const QStringList options = optionArguments(args);
    // The parser names an unknown option without its dashes, and one typed as "-abc" in the
    // compacted form as three; the name as typed is what a person finds in the command line.
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        QString typed = (unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) +
                        unknown.first();
        for (const QString &option : options) {
            if (nameOf(option) == unknown.first()) {
                typed = option.section(QLatin1Char('='), 0, 0);
                break;
            }
        }
        return tr("unknown option '%1'").arg(typed);
    }
    QString text = parser.errorText();
    // An option takes the next argument as its value whatever it is, so only the last one can
    // lack a value.
    if (!options.isEmpty() &&
        text == QCommandLineParser::tr("Missing value after '%1'.").arg(options.last()))
        return tr("option '%1' needs a value").arg(options.last());
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text;
}

QString UsageError::checkValue(const QString &value, Value kind)
{
    if (!value.isEmpty() && !value.startsWith(QLatin1Char('-'))) return {};
    return kind == Value::Device ? tr("expected a device, got \"%1\"").arg(value)
                                 : tr("expected a file, got \"%1\"").arg(value);
}

QString UsageError::line(const QString &program, const QString &message)
{
    // A message may be a sentence of its own, such as a link failure's, in either language.
    QString text = message;
    if (text.endsWith(QLatin1Char('.')) || text.endsWith(QChar(0x3002))) text.chop(1);
    return tr("%1: %2. Try --help.").arg(program, text) + QLatin1Char('\n');
}
