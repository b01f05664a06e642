// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string_view>

// The window's controls as data. Positions and sizes are in twips, relative to the client area
// of the container; colours are 0xRRGGBB. The window is built from these rows in their order,
// which is also the stacking order (a later row lies above an earlier one).

enum class ControlKind { Frame, Label, Button, Option, Picture };

enum class FontFamily { None, Gothic, PGothic };

// Family names as the controls ask for them; main() maps them to installed substitutes.
inline constexpr auto GothicFamily = "ＭＳ ゴシック";
inline constexpr auto PGothicFamily = "ＭＳ Ｐゴシック";

struct FontStyle
{
    FontFamily family = FontFamily::None;
    double points = 0;
    bool bold = false;
};

enum class Alignment { Left, Centre, Right };

// A face of -1 keeps the system's face (Command33) or draws none (Image1).
inline constexpr int SystemFace = -1;

struct ControlRow
{
    const char *name;
    ControlKind kind;
    const char *parent;  // null: the window itself
    const char *caption; // UTF-8
    int left, top, width, height;
    int face = SystemFace;
    FontStyle font = {};
    int textColour = 0x000000;
    Alignment alignment = Alignment::Left;
    bool sunken = false;
    bool hiddenAtStart = false;
    bool checkedAtStart = false; // options only
};

// A straight line in window coordinates.
struct LineRow
{
    const char *name;
    int x1, y1, x2, y2;
};

inline constexpr int LineColour = 0x8080FF;

template <typename T> struct TableView
{
    const T *first;
    std::size_t count;
    const T *begin() const { return first; }
    const T *end() const { return first + count; }
    std::size_t size() const { return count; }
    const T &operator[](std::size_t i) const { return first[i]; }
};

TableView<ControlRow> controlTable();
TableView<LineRow> lineTable();
// Names in Tab order; the first one holds the focus when the window is first shown.
TableView<const char *> tabOrder();

// The row of a control, or null.
const ControlRow *findControl(std::string_view name);

// What assistive technology says for a control. The captions alone ("ON", "+", "↑") mean
// nothing without the picture around them, so each control gets a name that says what it does.
// The texts are English, marked for translation in the context of Form1, which translates them.
struct AccessibleRow
{
    const char *control;
    const char *name;        // null: the control's own text, kept current (the three displays)
    const char *description; // null: the tool tip serves as description
    const char *toolTip;     // null: a command button's tip comes from the button tables
};

TableView<AccessibleRow> accessibleTable();

// The window's own properties.
inline constexpr auto WindowCaption = "TAVO   R410 & R420 & R430 & R440   CONTROL  Ver.1.30";
inline constexpr int WindowBackground = 0xC0C0C0;
inline constexpr int ClientWidthTwips = 9495;
// Overall design size, title bar and borders included; the start-up placement centres this.
inline constexpr int DesignWidthTwips = 9585;
inline constexpr int DesignHeightTwips = 7200;
// Title bar, top and bottom border of the design frame: overall height minus client height.
inline constexpr int FrameHeightTwips = 375;
inline constexpr int TwipsPerPixel = 15;
