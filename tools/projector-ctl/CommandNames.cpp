// SPDX-License-Identifier: MIT
#include "CommandNames.h"

namespace {

// The names scripts and crontabs are written with: frozen here, not derived from the buttons'
// accessible names, so that rewording a button for a screen reader renames nothing. Button
// order, the one-shot buttons first; a button added to the panel needs a row here.
struct Row
{
    const char *name;
    const char *code;
};
constexpr Row Names[] = {
    {"power-on", "C00"},
    {"power-off", "C02"},
    {"input-pc-1", "C05"},
    {"input-pc-2", "C06"},
    {"input-video", "C07"},
    {"menu-on", "C1C"},
    {"menu-off", "C1D"},
    {"audio-mute-on", "C0B"},
    {"audio-mute-off", "C0C"},
    {"video-mute-on", "C0D"},
    {"video-mute-off", "C0E"},
    {"freeze-on", "C43"},
    {"freeze-off", "C44"},
    {"screen-mode-normal", "C0F"},
    {"screen-mode-wide", "C10"},
    {"zoom-adjustment-mode", "C80"},
    {"focus-adjustment-mode", "C87"},
    {"auto-image-adjustment", "C89"},
    {"presentation-timer", "C8A"},
    {"picture-back-to-normal", "C1F"},
    {"clear-the-on-screen-display", "C1E"},
    {"status", "CR0"},
    {"input", "CR1"},
    {"lamp-hours", "CR3"},
    {"mirror", "CR4"},
    {"send-c01", "C01"},
    {"volume-up", "C09"},
    {"volume-down", "C0A"},
    {"zoom-in", "C47"},
    {"zoom-out", "C46"},
    {"focus-plus", "C4B"},
    {"focus-minus", "C4A"},
    {"digital-zoom-in", "C30"},
    {"digital-zoom-out", "C31"},
    {"keystone-plus", "C8E"},
    {"keystone-minus", "C8F"},
    {"select", "C3F"},
    {"cursor-up", "C3C"},
    {"cursor-down", "C3D"},
    {"cursor-left", "C3B"},
    {"cursor-right", "C3A"},
};

} // namespace

const QList<NamedCommand> &namedCommands()
{
    static const QList<NamedCommand> commands = [] {
        QList<NamedCommand> list;
        for (const Row &row : Names)
            list.append({QString::fromLatin1(row.name), QLatin1StringView(row.code)});
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
