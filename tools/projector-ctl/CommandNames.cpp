// SPDX-License-Identifier: MIT
#include "CommandNames.h"

#include "ButtonTables.h"
#include "ControlTable.h"

#include <cstring>

namespace {

// "Status read: lamp time" would make a poor word to type into a crontab.
struct ShortName
{
    const char *code;
    const char *name;
};
constexpr ShortName StatusReadNames[] = {
    {"CR0", "status"},
    {"CR1", "input"},
    {"CR3", "lamp-hours"},
    {"CR4", "mirror"},
};

QString nameFor(const char *control, const char *code)
{
    for (const ShortName &s : StatusReadNames)
        if (std::strcmp(s.code, code) == 0) return QString::fromLatin1(s.name);
    QString words;
    for (const AccessibleRow &row : accessibleTable())
        if (row.name && std::strcmp(row.control, control) == 0)
            words = QString::fromUtf8(row.name).toLower();
    // Every run of anything but letters and digits becomes one hyphen.
    QString name;
    for (const QChar c : words) {
        if (c.isLetterOrNumber())
            name += c;
        else if (!name.isEmpty() && !name.endsWith(u'-'))
            name += u'-';
    }
    if (name.endsWith(u'-')) name.chop(1);
    return name;
}

} // namespace

const QList<NamedCommand> &namedCommands()
{
    static const QList<NamedCommand> commands = [] {
        QList<NamedCommand> list;
        for (const OneShotButton &b : OneShotButtons)
            list.append({nameFor(b.name, b.code), QLatin1StringView(b.code)});
        for (const HoldButton &b : HoldButtons)
            list.append({nameFor(b.name, b.code), QLatin1StringView(b.code)});
        return list;
    }();
    return commands;
}

std::optional<NamedCommand> findCommand(QStringView nameOrCode)
{
    for (const NamedCommand &c : namedCommands())
        if (nameOrCode.compare(c.name, Qt::CaseInsensitive) == 0 ||
            nameOrCode.compare(c.code, Qt::CaseInsensitive) == 0)
            return c;
    return std::nullopt;
}
