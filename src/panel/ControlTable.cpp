// SPDX-License-Identifier: MIT
#include "ControlTable.h"

#include <QtGlobal>

#include <iterator>

namespace {
constexpr const char *Window = nullptr;

constexpr int Grey = 0xC0C0C0;
constexpr int White = 0xFFFFFF;
constexpr int Black = 0x000000;

constexpr FontStyle G9{FontFamily::Gothic, 9, false};
constexpr FontStyle G9B{FontFamily::Gothic, 9, true};
constexpr FontStyle G825B{FontFamily::Gothic, 8.25, true};
constexpr FontStyle PG9{FontFamily::PGothic, 9, false};
constexpr FontStyle PG9B{FontFamily::PGothic, 9, true};
constexpr FontStyle PG975B{FontFamily::PGothic, 9.75, true};

constexpr auto Left = Alignment::Left;
constexpr auto Centre = Alignment::Centre;
constexpr auto Right = Alignment::Right;

constexpr ControlRow frame(const char *name, const char *parent, int l, int t, int w, int h,
                           bool hidden = false)
{
    ControlRow c{name, ControlKind::Frame, parent, "", l, t, w, h};
    c.face = Grey;
    c.hiddenAtStart = hidden;
    return c;
}

constexpr ControlRow label(const char *name, const char *parent, const char *caption, int l, int t,
                           int w, int h, FontStyle font, Alignment align = Left,
                           int textColour = Black)
{
    ControlRow c{name, ControlKind::Label, parent, caption, l, t, w, h};
    c.face = Grey;
    c.font = font;
    c.alignment = align;
    c.textColour = textColour;
    return c;
}

// A white one-line display with a sunken border.
constexpr ControlRow display(const char *name, const char *parent, int l, int t, int w, int h,
                             FontStyle font, int textColour = Black)
{
    ControlRow c{name, ControlKind::Label, parent, "", l, t, w, h};
    c.face = White;
    c.font = font;
    c.textColour = textColour;
    c.sunken = true;
    return c;
}

constexpr ControlRow button(const char *name, const char *parent, const char *caption, int l, int t,
                            int w, int h, int face, FontStyle font, bool hidden = false)
{
    ControlRow c{name, ControlKind::Button, parent, caption, l, t, w, h};
    c.face = face;
    c.font = font;
    c.hiddenAtStart = hidden;
    return c;
}

constexpr ControlRow option(const char *name, const char *parent, const char *caption, int l, int t,
                            int w, int h, FontStyle font, bool checked = false)
{
    ControlRow c{name, ControlKind::Option, parent, caption, l, t, w, h};
    c.face = Grey;
    c.font = font;
    c.checkedAtStart = checked;
    return c;
}

constexpr ControlRow picture(const char *name, int l, int t, int w, int h)
{
    return {name, ControlKind::Picture, Window, "", l, t, w, h};
}

constexpr ControlRow Controls[] = {
    // Top row
    frame("Frame1", Window, 120, 120, 1812, 975),
    label("Label1", "Frame1", "POWER", 150, 240, 1560, 315, G9B, Centre, 0xC00000),
    button("Command17", "Frame1", "ON", 120, 600, 735, 300, 0xC0FFC0, G9B),
    button("Command18", "Frame1", "OFF", 960, 600, 735, 300, 0xFFC0C0, G9B),
    frame("Frame2", Window, 2400, 120, 3132, 972),
    label("Label2", "Frame2", "INPUT SELECT", 165, 240, 2865, 330, G9B, Centre),
    button("Command27", "Frame2", "PC 1", 120, 600, 855, 300, 0xC0FFFF, G9B),
    button("Command28", "Frame2", "PC 2", 1080, 600, 855, 300, 0xC0FFFF, G9B),
    button("Command29", "Frame2", "Video", 2040, 600, 975, 300, 0xC0FFFF, G9B),
    frame("Frame6", Window, 6000, 120, 1932, 972),
    label("Label7", "Frame6", "MENU", 255, 240, 1410, 315, G9B, Centre),
    button("Command23", "Frame6", "ON", 240, 600, 615, 300, 0xC0FFC0, G9B),
    button("Command24", "Frame6", "OFF", 1080, 600, 615, 300, 0xFFC0C0, G9B),
    picture("Image1", 8160, 120, 1200, 390),

    // Second row
    frame("Frame3", Window, 120, 1200, 1740, 972),
    label("Label4", "Frame3", "AUDIO MUTE", 120, 240, 1515, 315, G9B, Centre),
    button("Command19", "Frame3", "ON", 120, 600, 615, 300, 0xC0FFC0, G9B),
    button("Command20", "Frame3", "OFF", 960, 600, 615, 300, 0xFFC0C0, G9B),
    frame("Frame4", Window, 2160, 1200, 1935, 972),
    label("Label5", "Frame4", "VIDEO MUTE", 135, 255, 1575, 315, G9B, Centre),
    button("Command21", "Frame4", "ON", 240, 600, 615, 300, 0xC0FFC0, G9B),
    button("Command22", "Frame4", "OFF", 1080, 600, 615, 300, 0xFFC0C0, G9B),
    frame("Frame7", Window, 4440, 1200, 1692, 972),
    label("Label8", "Frame7", "FREEZE", 135, 225, 1410, 315, G9B, Centre),
    button("Command25", "Frame7", "ON", 120, 600, 615, 300, 0xC0FFC0, G9B),
    button("Command26", "Frame7", "OFF", 960, 600, 615, 300, 0xFFC0C0, G9B),
    frame("Frame5", Window, 6600, 1200, 2295, 972),
    label("Label6", "Frame5", "VIDEO  SCREEN", 120, 240, 2055, 330, G9B, Centre),
    button("Command31", "Frame5", "Normal", 120, 600, 1095, 300, 0xC0FFFF, G9),
    button("Command32", "Frame5", "Wide", 1320, 600, 855, 300, 0xC0FFFF, G9),

    // Arrow pad and the lens mode buttons
    button("Command5", Window, "↑", 1200, 2520, 855, 375, 0xFFE0C0, PG9B),
    button("Command9", Window, "←", 240, 3000, 855, 375, 0xFFE0C0, PG9B),
    button("Command6", Window, "SELECT", 1200, 3000, 855, 375, 0xFF8000, G9),
    button("Command8", Window, "→", 2160, 3000, 855, 375, 0xFFE0C0, PG9B),
    button("Command7", Window, "↓", 1200, 3480, 855, 375, 0xFFE0C0, PG9B),
    button("Command10", Window, "ZOOM", 120, 4320, 975, 375, 0xFFE0C0, G9B),
    button("Command11", Window, "FOCUS", 1200, 4320, 975, 375, 0xFFE0C0, G9B),

    // Adjustment columns
    label("Label3", Window, "VOL", 3360, 2520, 645, 315, G9B, Centre),
    button("Command1", Window, "+", 3480, 2880, 375, 255, 0xFFC080, PG9B),
    button("Command2", Window, "-", 3480, 3240, 375, 255, 0xFFC080, PG9B),
    label("Label13", Window, "Zoom", 4170, 2520, 765, 315, G9, Centre),
    button("Command15", Window, "+", 4320, 2880, 375, 255, 0xFFE0C0, PG9),
    button("Command35", Window, "-", 4320, 3240, 375, 255, 0xFFE0C0, PG9),
    label("Label14", Window, "Focus", 4995, 2505, 780, 315, G9, Centre),
    button("Command36", Window, "+", 5160, 2880, 375, 255, 0xFFE0C0, PG9),
    button("Command37", Window, "-", 5160, 3240, 375, 255, 0xFFE0C0, PG9),
    label("Label17", Window, "D.Zoom", 6045, 2520, 795, 315, G9, Centre),
    button("Command48", Window, "+", 6240, 2880, 375, 255, 0xC0FFFF, PG9),
    button("Command49", Window, "-", 6240, 3240, 375, 255, 0xC0FFFF, PG9),
    label("Label18", Window, "Keystone", 6960, 2520, 1005, 315, G9, Centre),
    button("Command50", Window, "+", 7200, 2880, 375, 255, 0xC0FFFF, PG9),
    button("Command51", Window, "-", 7200, 3240, 375, 255, 0xC0FFFF, PG9),

    // Right-hand column
    button("Command13", Window, "A-IMAGE", 8160, 2760, 1095, 250, 0x00C0C0, G9),
    button("Command14", Window, "P-TIMER", 8160, 3120, 1095, 250, 0xC0C0FF, G9),
    button("Command4", Window, "NORMAL", 8160, 3360, 1095, 250, 0xC0C0FF, G9),
    button("Command3", Window, "DISPLAY CLEAR", 8160, 3600, 1095, 492, 0xC0C0FF, G9),
    button("Command16", Window, "END", 8280, 4320, 975, 375, Grey, G9B),

    // Communication settings; Frame8 comes after Command33 so that it covers it.
    button("Command33", Window, "COM", 4080, 4200, 1815, 375, SystemFace, PG9),
    frame("Frame8", Window, 3600, 3600, 2775, 1185, true),
    option("Option1", "Frame8", "COM1", 225, 180, 1140, 345, G9B),
    option("Option2", "Frame8", "COM2", 1590, 195, 1035, 345, G9B),
    frame("Frame10", "Frame8", 120, 510, 2535, 615),
    option("Option3", "Frame10", "19200", 105, 195, 1230, 330, G9B, true),
    option("Option4", "Frame10", "9600", 1455, 180, 1005, 375, G9B),

    // Data area
    frame("Frame9", Window, 120, 4920, 6495, 1068),
    label("Label9", "Frame9", "TXD", 120, 210, 510, 345, G9, Right),
    display("Label11", "Frame9", 720, 195, 5655, 300, PG975B),
    label("Label10", "Frame9", "RXD", 120, 615, 525, 405, G9, Right),
    display("Label12", "Frame9", 720, 660, 5655, 300, PG975B),
    button("Command34", Window, "データを表示する", 7920, 5040, 1332, 375, Grey, G9B, true),
    button("Command44", Window, "STATUS", 7080, 5640, 1095, 255, 0xC0FFFF, G825B),
    button("Command45", Window, "MODE", 7080, 5880, 1095, 255, 0xC0FFFF, G825B),
    button("Command46", Window, "L-TIME", 8160, 5640, 1095, 255, 0xC0FFFF, G825B),
    button("Command47", Window, "SETTING", 8160, 5880, 1095, 255, 0xC0FFFF, G825B),
    frame("Frame15", Window, 720, 6045, 5895, 492),
    label("Label26", "Frame15", "STATUS", 105, 150, 915, 285, G9),
    display("Label25", "Frame15", 1080, 135, 4695, 300, PG9B, 0xFF0000),
    button("Command52", Window, "C01", 120, 6120, 495, 255, 0xFFC0C0, G9),
};

// A plus-shaped outline around the arrow pad.
constexpr LineRow Lines[] = {
    {"Line1", 1080, 2400, 1080, 2880},  {"Line2", 2160, 2400, 2160, 2880},
    {"Line3", 3120, 2880, 3120, 3480},  {"Line4", 2160, 3480, 2160, 3960},
    {"Line5", 1080, 3480, 1080, 3960},  {"Line6", 120, 2880, 120, 3480},
    {"Line7", 1080, 2400, 2160, 2400},  {"Line8", 120, 2880, 1080, 2880},
    {"Line9", 2160, 2880, 3120, 2880},  {"Line10", 120, 3480, 1080, 3480},
    {"Line11", 1080, 3960, 2160, 3960}, {"Line12", 2160, 3480, 3120, 3480},
};

constexpr const char *TabOrder[] = {
    "Command17", "Command1",  "Command2",  "Command3",  "Command4",  "Command5",  "Command6",
    "Command7",  "Command8",  "Command9",  "Command10", "Command11", "Command13", "Command14",
    "Command16", "Command18", "Command19", "Command20", "Command21", "Command22", "Command23",
    "Command24", "Command25", "Command26", "Command27", "Command28", "Command29", "Command31",
    "Command32", "Command33", "Option1",   "Option2",   "Command34", "Command15", "Command35",
    "Command36", "Command37", "Command44", "Command45", "Command46", "Command47", "Command48",
    "Command49", "Command50", "Command51", "Command52", "Option3",   "Option4",
};

constexpr AccessibleRow Accessible[] = {
    // Groups, so that a reader can tell where a control sits.
    {"Frame1", QT_TRANSLATE_NOOP("Form1", "Power"), nullptr, nullptr},
    {"Frame2", QT_TRANSLATE_NOOP("Form1", "Input select"), nullptr, nullptr},
    {"Frame6", QT_TRANSLATE_NOOP("Form1", "Menu"), nullptr, nullptr},
    {"Frame3", QT_TRANSLATE_NOOP("Form1", "Audio mute"), nullptr, nullptr},
    {"Frame4", QT_TRANSLATE_NOOP("Form1", "Video mute"), nullptr, nullptr},
    {"Frame7", QT_TRANSLATE_NOOP("Form1", "Freeze"), nullptr, nullptr},
    {"Frame5", QT_TRANSLATE_NOOP("Form1", "Video screen"), nullptr, nullptr},
    {"Frame8", QT_TRANSLATE_NOOP("Form1", "Port and line speed"), nullptr, nullptr},
    {"Frame10", QT_TRANSLATE_NOOP("Form1", "Line speed"), nullptr, nullptr},
    {"Frame9", QT_TRANSLATE_NOOP("Form1", "Data traces"), nullptr, nullptr},
    {"Frame15", QT_TRANSLATE_NOOP("Form1", "Status"), nullptr, nullptr},
    {"Image1", QT_TRANSLATE_NOOP("Form1", "Picture of a projector"), nullptr, nullptr},

    // One command per click.
    {"Command17", QT_TRANSLATE_NOOP("Form1", "Power on"), nullptr, nullptr},
    {"Command18", QT_TRANSLATE_NOOP("Form1", "Power off"), nullptr, nullptr},
    {"Command27", QT_TRANSLATE_NOOP("Form1", "Input PC 1"), nullptr, nullptr},
    {"Command28", QT_TRANSLATE_NOOP("Form1", "Input PC 2"), nullptr, nullptr},
    {"Command29", QT_TRANSLATE_NOOP("Form1", "Input video"), nullptr, nullptr},
    {"Command23", QT_TRANSLATE_NOOP("Form1", "Menu on"), nullptr, nullptr},
    {"Command24", QT_TRANSLATE_NOOP("Form1", "Menu off"), nullptr, nullptr},
    {"Command19", QT_TRANSLATE_NOOP("Form1", "Audio mute on"), nullptr, nullptr},
    {"Command20", QT_TRANSLATE_NOOP("Form1", "Audio mute off"), nullptr, nullptr},
    {"Command21", QT_TRANSLATE_NOOP("Form1", "Video mute on"), nullptr, nullptr},
    {"Command22", QT_TRANSLATE_NOOP("Form1", "Video mute off"), nullptr, nullptr},
    {"Command25", QT_TRANSLATE_NOOP("Form1", "Freeze on"), nullptr, nullptr},
    {"Command26", QT_TRANSLATE_NOOP("Form1", "Freeze off"), nullptr, nullptr},
    {"Command31", QT_TRANSLATE_NOOP("Form1", "Screen mode normal"), nullptr, nullptr},
    {"Command32", QT_TRANSLATE_NOOP("Form1", "Screen mode wide"), nullptr, nullptr},
    {"Command10", QT_TRANSLATE_NOOP("Form1", "Zoom adjustment mode"), nullptr, nullptr},
    {"Command11", QT_TRANSLATE_NOOP("Form1", "Focus adjustment mode"), nullptr, nullptr},
    {"Command13", QT_TRANSLATE_NOOP("Form1", "Auto image adjustment"), nullptr, nullptr},
    {"Command14", QT_TRANSLATE_NOOP("Form1", "Presentation timer"), nullptr, nullptr},
    {"Command4", QT_TRANSLATE_NOOP("Form1", "Picture back to normal"), nullptr, nullptr},
    {"Command3", QT_TRANSLATE_NOOP("Form1", "Clear the on-screen display"), nullptr, nullptr},
    {"Command44", QT_TRANSLATE_NOOP("Form1", "Status read: power state"), nullptr, nullptr},
    {"Command45", QT_TRANSLATE_NOOP("Form1", "Status read: input"), nullptr, nullptr},
    {"Command46", QT_TRANSLATE_NOOP("Form1", "Status read: lamp time"), nullptr, nullptr},
    {"Command47", QT_TRANSLATE_NOOP("Form1", "Status read: picture orientation"), nullptr, nullptr},
    {"Command52", QT_TRANSLATE_NOOP("Form1", "Send C01"), nullptr, nullptr},

    // Repeated while held. Words, not "+" and "-": screen readers often skip punctuation.
    {"Command5", QT_TRANSLATE_NOOP("Form1", "Cursor up"), nullptr, nullptr},
    {"Command7", QT_TRANSLATE_NOOP("Form1", "Cursor down"), nullptr, nullptr},
    {"Command9", QT_TRANSLATE_NOOP("Form1", "Cursor left"), nullptr, nullptr},
    {"Command8", QT_TRANSLATE_NOOP("Form1", "Cursor right"), nullptr, nullptr},
    {"Command6", QT_TRANSLATE_NOOP("Form1", "Select"), nullptr, nullptr},
    {"Command1", QT_TRANSLATE_NOOP("Form1", "Volume up"), nullptr, nullptr},
    {"Command2", QT_TRANSLATE_NOOP("Form1", "Volume down"), nullptr, nullptr},
    {"Command15", QT_TRANSLATE_NOOP("Form1", "Zoom in"), nullptr, nullptr},
    {"Command35", QT_TRANSLATE_NOOP("Form1", "Zoom out"), nullptr, nullptr},
    {"Command36", QT_TRANSLATE_NOOP("Form1", "Focus plus"), nullptr, nullptr},
    {"Command37", QT_TRANSLATE_NOOP("Form1", "Focus minus"), nullptr, nullptr},
    {"Command48", QT_TRANSLATE_NOOP("Form1", "Digital zoom in"), nullptr, nullptr},
    {"Command49", QT_TRANSLATE_NOOP("Form1", "Digital zoom out"), nullptr, nullptr},
    {"Command50", QT_TRANSLATE_NOOP("Form1", "Keystone plus"), nullptr, nullptr},
    {"Command51", QT_TRANSLATE_NOOP("Form1", "Keystone minus"), nullptr, nullptr},

    // The panel itself.
    {"Command34", QT_TRANSLATE_NOOP("Form1", "Show or hide the data area"), nullptr,
     QT_TRANSLATE_NOOP("Form1",
                       "Shows or hides the traces and the status reads (Ctrl+H shows them all)")},
    {"Command33", QT_TRANSLATE_NOOP("Form1", "Serial port settings"), nullptr,
     QT_TRANSLATE_NOOP("Form1",
                       "Opens the choice of serial port and line speed for a few seconds")},
    {"Command16", QT_TRANSLATE_NOOP("Form1", "End the program"), nullptr,
     QT_TRANSLATE_NOOP("Form1", "Closes the serial port and ends the program")},
    {"Option1", QT_TRANSLATE_NOOP("Form1", "Serial port 1"), nullptr,
     QT_TRANSLATE_NOOP("Form1", "Switches to serial port 1")},
    {"Option2", QT_TRANSLATE_NOOP("Form1", "Serial port 2"), nullptr,
     QT_TRANSLATE_NOOP("Form1", "Switches to serial port 2")},
    {"Option3", QT_TRANSLATE_NOOP("Form1", "19200 baud"), nullptr,
     QT_TRANSLATE_NOOP("Form1", "Sets the line to 19200 baud, no parity, 8 data bits, 1 stop bit")},
    {"Option4", QT_TRANSLATE_NOOP("Form1", "9600 baud"), nullptr,
     QT_TRANSLATE_NOOP("Form1", "Sets the line to 9600 baud, no parity, 8 data bits, 1 stop bit")},

    // The displays are named by what they show; the description says what they are.
    {"Label11", nullptr, QT_TRANSLATE_NOOP("Form1", "Command line last sent"), nullptr},
    {"Label12", nullptr, QT_TRANSLATE_NOOP("Form1", "Reply received"), nullptr},
    {"Label25", nullptr, QT_TRANSLATE_NOOP("Form1", "Projector status"), nullptr},
};
} // namespace

TableView<ControlRow> controlTable()
{
    return {Controls, std::size(Controls)};
}

TableView<LineRow> lineTable()
{
    return {Lines, std::size(Lines)};
}

TableView<const char *> tabOrder()
{
    return {TabOrder, std::size(TabOrder)};
}

const ControlRow *findControl(std::string_view name)
{
    for (const ControlRow &c : Controls)
        if (name == c.name) return &c;
    return nullptr;
}

TableView<AccessibleRow> accessibleTable()
{
    return {Accessible, std::size(Accessible)};
}
