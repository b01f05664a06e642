// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <chrono>
#include <optional>
#include <string_view>

// The codes a program names on its own; every other code is only a row of Commands below.
namespace Code {
inline constexpr char PowerOn[] = "C00";
inline constexpr char PowerOff[] = "C02";
inline constexpr char InputComputer1[] = "C05";
inline constexpr char InputComputer2[] = "C06";
inline constexpr char InputVideo[] = "C07";
inline constexpr char AudioMuteOn[] = "C0B";
inline constexpr char AudioMuteOff[] = "C0C";
inline constexpr char VideoMuteOn[] = "C0D";
inline constexpr char VideoMuteOff[] = "C0E";
inline constexpr char ReadPower[] = "CR0";
inline constexpr char ReadInput[] = "CR1";
inline constexpr char ReadLampHours[] = "CR3";
inline constexpr char ReadOrientation[] = "CR4";
} // namespace Code

// How long the projector is given to answer a line: the normal reply window.
inline constexpr std::chrono::milliseconds ReplyWindow{500};

enum class CommandKind {
    OneShot,   // sent once
    Held,      // sent again every repeatPeriod while its button is held
    StatusRead // asks for a state, which its reply tells (StatusReads.h)
};

struct Command
{
    std::string_view code; // "C00"
    std::string_view name; // "power-on": frozen, scripts and crontabs are written with it
    CommandKind kind;
    // A held command's; zero for the cursor keys, which repeat as the last mode command set.
    std::chrono::milliseconds repeatPeriod{0};
};

// Every command, in the panel's button order, the one-shot ones first. A new command is one row
// here; the names are part of the programs' interfaces and never change.
inline constexpr std::array<Command, 41> Commands{{
    {Code::PowerOn, "power-on", CommandKind::OneShot},
    {Code::PowerOff, "power-off", CommandKind::OneShot},
    {Code::InputComputer1, "input-pc-1", CommandKind::OneShot},
    {Code::InputComputer2, "input-pc-2", CommandKind::OneShot},
    {Code::InputVideo, "input-video", CommandKind::OneShot},
    {"C1C", "menu-on", CommandKind::OneShot},
    {"C1D", "menu-off", CommandKind::OneShot},
    {Code::AudioMuteOn, "audio-mute-on", CommandKind::OneShot},
    {Code::AudioMuteOff, "audio-mute-off", CommandKind::OneShot},
    {Code::VideoMuteOn, "video-mute-on", CommandKind::OneShot},
    {Code::VideoMuteOff, "video-mute-off", CommandKind::OneShot},
    {"C43", "freeze-on", CommandKind::OneShot},
    {"C44", "freeze-off", CommandKind::OneShot},
    {"C0F", "screen-mode-normal", CommandKind::OneShot},
    {"C10", "screen-mode-wide", CommandKind::OneShot},
    {"C80", "zoom-adjustment-mode", CommandKind::OneShot},
    {"C87", "focus-adjustment-mode", CommandKind::OneShot},
    {"C89", "auto-image-adjustment", CommandKind::OneShot},
    {"C8A", "presentation-timer", CommandKind::OneShot},
    {"C1F", "picture-back-to-normal", CommandKind::OneShot},
    {"C1E", "clear-the-on-screen-display", CommandKind::OneShot},
    {Code::ReadPower, "status", CommandKind::StatusRead},
    {Code::ReadInput, "input", CommandKind::StatusRead},
    {Code::ReadLampHours, "lamp-hours", CommandKind::StatusRead},
    {Code::ReadOrientation, "mirror", CommandKind::StatusRead},
    {"C01", "send-c01", CommandKind::OneShot},
    {"C09", "volume-up", CommandKind::Held, std::chrono::milliseconds(250)},
    {"C0A", "volume-down", CommandKind::Held, std::chrono::milliseconds(250)},
    {"C47", "zoom-in", CommandKind::Held, std::chrono::milliseconds(50)},
    {"C46", "zoom-out", CommandKind::Held, std::chrono::milliseconds(50)},
    {"C4B", "focus-plus", CommandKind::Held, std::chrono::milliseconds(50)},
    {"C4A", "focus-minus", CommandKind::Held, std::chrono::milliseconds(50)},
    {"C30", "digital-zoom-in", CommandKind::Held, std::chrono::milliseconds(250)},
    {"C31", "digital-zoom-out", CommandKind::Held, std::chrono::milliseconds(250)},
    {"C8E", "keystone-plus", CommandKind::Held, std::chrono::milliseconds(250)},
    {"C8F", "keystone-minus", CommandKind::Held, std::chrono::milliseconds(250)},
    {"C3F", "select", CommandKind::Held, std::chrono::milliseconds(500)},
    {"C3C", "cursor-up", CommandKind::Held},
    {"C3D", "cursor-down", CommandKind::Held},
    {"C3B", "cursor-left", CommandKind::Held},
    {"C3A", "cursor-right", CommandKind::Held},
}};

// The row of a code, exactly as written ("C00"), as an index into Commands; -1 for none. An index
// rather than a pointer, so that compile-time checks hold under the sanitizers too.
constexpr int commandIndex(std::string_view code)
{
    for (std::size_t i = 0; i < Commands.size(); ++i)
        if (Commands[i].code == code) return int(i);
    return -1;
}

// A command under its name, for the command line and the bus.
struct NamedCommand
{
    QString name;           // "power-on"
    QLatin1StringView code; // "C00"
};

// Every command, in the order of Commands.
const QList<NamedCommand> &namedCommands();
// A name or a three-character code, in any case.
std::optional<NamedCommand> findCommand(QStringView nameOrCode);

// The line that sends a code: the code and a carriage return.
QByteArray commandLine(QByteArrayView code);
inline QByteArray commandLine(QLatin1StringView code)
{
    return commandLine(QByteArrayView(code.data(), code.size()));
}

// The longest raw line a client may write, in bytes.
inline constexpr int MaxLineLength = 64;
// What makes `line` no raw line for the projector, in English for a client's error message;
// empty for one that is: 1 to MaxLineLength bytes, none above 0x7f.
QString lineProblem(QByteArrayView line);

// The audio and video mutes as the lines sent to the projector left them: the projector cannot
// be asked for them, so each is unknown until a line sets it.
struct MuteState
{
    std::optional<bool> video;
    std::optional<bool> audio;
    friend bool operator==(const MuteState &a, const MuteState &b)
    {
        return a.video == b.video && a.audio == b.audio;
    }
};
// Applies a line sent to the projector: a mute command's line sets its mute. True when it was one.
bool applyMuteLine(MuteState &mutes, QByteArrayView line);
