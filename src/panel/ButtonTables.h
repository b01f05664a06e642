// SPDX-License-Identifier: MIT
#pragma once

#include "Commands.h"
#include "LineSettings.h"

#include <QtGlobal>

#include <array>
#include <chrono>
#include <optional>

using std::chrono::milliseconds;

// What a mode button (ZOOM, FOCUS, A-IMAGE, MENU ON) also sets: the repeat period of the arrow pad
// and the CursorMode that picks the arrows' reply timing.
struct ModeSetting
{
    milliseconds repeatPeriod;
    quint8 cursorMode;
};

// The buttons by their widget names, with what the window does beside sending. Their codes are
// the vocabulary's (Commands.h), which the checks at the end of this file hold them to.

// A button that sends one command line per click.
struct OneShotButton
{
    const char *name;
    const char *code;
    std::optional<ModeSetting> mode;
};

inline constexpr std::array<OneShotButton, 26> OneShotButtons{{
    {"Command17", Code::PowerOn, {}},                        // POWER ON
    {"Command18", Code::PowerOff, {}},                       // POWER OFF
    {"Command27", Code::InputComputer1, {}},                 // PC 1
    {"Command28", Code::InputComputer2, {}},                 // PC 2
    {"Command29", Code::InputVideo, {}},                     // Video
    {"Command23", "C1C", ModeSetting{milliseconds(200), 1}}, // MENU ON
    {"Command24", "C1D", {}},                                // MENU OFF
    {"Command19", Code::AudioMuteOn, {}},                    // AUDIO MUTE ON
    {"Command20", Code::AudioMuteOff, {}},                   // AUDIO MUTE OFF
    {"Command21", Code::VideoMuteOn, {}},                    // VIDEO MUTE ON
    {"Command22", Code::VideoMuteOff, {}},                   // VIDEO MUTE OFF
    {"Command25", "C43", {}},                                // FREEZE ON
    {"Command26", "C44", {}},                                // FREEZE OFF
    {"Command31", "C0F", {}},                                // screen Normal
    {"Command32", "C10", {}},                                // screen Wide
    {"Command10", "C80", ModeSetting{milliseconds(50), 2}},  // ZOOM
    {"Command11", "C87", ModeSetting{milliseconds(100), 2}}, // FOCUS
    {"Command13", "C89", ModeSetting{milliseconds(200), 1}}, // A-IMAGE
    {"Command14", "C8A", {}},                                // P-TIMER
    {"Command4", "C1F", {}},                                 // NORMAL
    {"Command3", "C1E", {}},                                 // DISPLAY CLEAR
    {"Command44", Code::ReadPower, {}},                      // STATUS
    {"Command45", Code::ReadInput, {}},                      // MODE
    {"Command46", Code::ReadLampHours, {}},                  // L-TIME
    {"Command47", Code::ReadOrientation, {}},                // SETTING
    {"Command52", "C01", {}},
}};

// Repeat period, reply window and display-clear delay of a fixed-period held button.
struct HoldTiming
{
    milliseconds repeatPeriod;
    milliseconds replyWindow;
    milliseconds displayClear;
};

// A button that sends at the press and repeats while held. Its RepeatCode and code make the
// repeat table that Timer1 sends from. Arrows have no timing of their own: they follow
// CursorMode and whatever period Timer1 was last given.
struct HoldButton
{
    const char *name;
    quint8 repeatCode;
    const char *code;
    std::optional<HoldTiming> timing;
    bool digitalZoom = false; // its release switches the arrows to digital-zoom mode
};

inline constexpr HoldTiming Slow{milliseconds(250), milliseconds(200), milliseconds(245)};
inline constexpr HoldTiming Lens{milliseconds(50), milliseconds(25), milliseconds(25)};
inline constexpr HoldTiming Select{milliseconds(500), milliseconds(200), milliseconds(245)};

inline constexpr std::array<HoldButton, 15> HoldButtons{{
    {"Command1", 1, "C09", Slow},         // VOL +
    {"Command2", 2, "C0A", Slow},         // VOL -
    {"Command15", 7, "C47", Lens},        // Zoom +
    {"Command35", 8, "C46", Lens},        // Zoom -
    {"Command36", 9, "C4B", Lens},        // Focus +
    {"Command37", 10, "C4A", Lens},       // Focus -
    {"Command48", 17, "C30", Slow, true}, // D.Zoom +
    {"Command49", 18, "C31", Slow, true}, // D.Zoom -
    {"Command50", 19, "C8E", Slow},       // Keystone +
    {"Command51", 20, "C8F", Slow},       // Keystone -
    {"Command6", 13, "C3F", Select},      // SELECT
    {"Command5", 3, "C3C", {}},           // up
    {"Command7", 4, "C3D", {}},           // down
    {"Command9", 5, "C3B", {}},           // left
    {"Command8", 6, "C3A", {}},           // right
}};

// Reply window and display-clear delay of an arrow press, by CursorMode; none in mode 0.
struct ArrowTiming
{
    milliseconds replyWindow;
    milliseconds displayClear;
};

inline constexpr std::array<std::optional<ArrowTiming>, 4> ArrowTimingByMode{{
    std::nullopt, ArrowTiming{milliseconds(150), milliseconds(190)}, // menu mode
    ArrowTiming{milliseconds(50), milliseconds(75)},                 // lens mode
    ArrowTiming{milliseconds(5), milliseconds(5)},                   // digital-zoom mode
}};

// Left behind in Timer1 by the release of a D.Zoom button.
inline constexpr milliseconds DigitalZoomPeriod{5};
inline constexpr quint8 DigitalZoomMode = 3;

// The normal reply window and display-clear delay, restored by every release.
inline constexpr milliseconds NormalReplyWindow = ReplyWindow;
inline constexpr milliseconds NormalDisplayClear{1000};

// The code Timer1 sends for a RepeatCode, from the held-button table; null for none.
inline constexpr const char *repeatCodeText(quint8 repeatCode)
{
    for (const HoldButton &b : HoldButtons)
        if (b.repeatCode == repeatCode) return b.code;
    return nullptr;
}

// Timer1's period before any mode button has set one.
inline constexpr milliseconds InitialRepeatPeriod{200};

// What the buttons outside the two command tables do.
enum class PanelAction { ShowSettings, End, ToggleDataArea };

struct ActionButton
{
    const char *name;
    PanelAction action;
};

inline constexpr std::array<ActionButton, 3> ActionButtons{{
    {"Command33", PanelAction::ShowSettings},   // COM
    {"Command16", PanelAction::End},            // END
    {"Command34", PanelAction::ToggleDataArea}, // the data-area toggle
}};

// The option buttons of the settings panel: a port number, or line settings.
struct OptionChoice
{
    const char *name;
    int port;
    const char *settings;
};

inline constexpr std::array<OptionChoice, 4> OptionChoices{{
    {"Option1", 1, nullptr},
    {"Option2", 2, nullptr},
    {"Option3", 0, Settings19200},
    {"Option4", 0, Settings9600},
}};

// Every button's code is a command of the vocabulary, of its button's kind; a held button's
// own repeat period is the command's.
constexpr bool oneShotButtonsMatch()
{
    for (const OneShotButton &b : OneShotButtons) {
        const int i = commandIndex(b.code);
        if (i < 0 || Commands[std::size_t(i)].kind == CommandKind::Held) return false;
    }
    return true;
}
constexpr bool holdButtonsMatch()
{
    for (const HoldButton &b : HoldButtons) {
        const int i = commandIndex(b.code);
        if (i < 0) return false;
        const Command &c = Commands[std::size_t(i)];
        if (c.kind != CommandKind::Held ||
            c.repeatPeriod != (b.timing ? b.timing->repeatPeriod : milliseconds(0)))
            return false;
    }
    return true;
}
static_assert(oneShotButtonsMatch(), "a one-shot button's code is no one-shot command");
static_assert(holdButtonsMatch(), "a held button's code or period is not its command's");
static_assert(OneShotButtons.size() + HoldButtons.size() == Commands.size(),
              "a command has no button");
