// SPDX-License-Identifier: MIT
#include "Commands.h"

const QList<NamedCommand> &namedCommands()
{
    static const QList<NamedCommand> commands = [] {
        QList<NamedCommand> list;
        for (const Command &c : Commands)
            list.append({QString::fromLatin1(c.name.data(), qsizetype(c.name.size())),
                         QLatin1StringView(c.code.data(), qsizetype(c.code.size()))});
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

QByteArray commandLine(QByteArrayView code)
{
    return code.toByteArray() + '\r';
}

QString lineProblem(QByteArrayView line)
{
    if (line.isEmpty()) return QStringLiteral("the line is empty");
    if (line.size() > MaxLineLength)
        return QStringLiteral("the line is %1 bytes long; at most %2 are sent")
            .arg(line.size())
            .arg(MaxLineLength);
    for (const char c : line)
        if (static_cast<unsigned char>(c) > 0x7F)
            return QStringLiteral("the line holds the byte 0x%1; only bytes up to 0x7f are sent")
                .arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
    return {};
}

bool applyMuteLine(MuteState &mutes, QByteArrayView line)
{
    if (line.size() != 4 || !line.endsWith('\r')) return false;
    const QByteArrayView code = line.first(3);
    if (code == Code::AudioMuteOn || code == Code::AudioMuteOff)
        mutes.audio = code == Code::AudioMuteOn;
    else if (code == Code::VideoMuteOn || code == Code::VideoMuteOff)
        mutes.video = code == Code::VideoMuteOn;
    else
        return false;
    return true;
}
