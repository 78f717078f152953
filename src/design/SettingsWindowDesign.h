#pragma once

// The settings window as its designer drew it, in data that every face builds from: each
// control with its designer name, kind, place in twips, caption, font and what a screen
// reader says of it; the tray menu's entries; the colours. No toolkit here.

#include <array>
#include <cstddef>
#include <string_view>

namespace kelvane::design {

enum class Kind { Frame, Label, Badge, TickBox, TextBox, Button };

// The faces the window is designed in, at their sizes.
enum class Font {
    Default,      // MS Sans Serif 8.25 pt
    DefaultBold,  // the same, bold: frame captions, a finished pass
    PathBox,      // Calibri 9.75 pt
    Badge,        // Calibri 8.25 pt
};

// Twips (1/1440 inch), from the corner of the frame the control lies in, or of the
// window's client area for a frame and a control outside every frame.
struct Twips {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct Control {
    std::string_view name;  // the designer's name, which drivers and tools find
    Kind kind;
    std::string_view frame;  // the frame it lies in; empty: the window itself
    Twips place;
    std::string_view caption;  // or the initial text
    Font font = Font::Default;
    // A label as wide as its caption in its font, cut at its frame's inner edge; else the
    // designed width.
    bool fitToText = false;
    // For controls whose caption says nothing; a label's name is its caption.
    std::string_view accessibleName = {};
    std::string_view accessibleDescription = {};
    // Creation order: frames first, then the focus order, which Tab follows.
    int order = 0;
};

inline constexpr int kClientWidth = 6915;  // twips
inline constexpr int kClientHeight = 3630;

// In the order of the designer's numbering.
inline constexpr std::array<Control, 27> kSettingsControls{{
    {"Frame1",
     Kind::Frame,
     {},
     {75, 150, 6765, 2040},
     "Files to Sync",
     Font::DefaultBold,
     false,
     {},
     {},
     0},
    {"Label7",
     Kind::Label,
     "Frame1",
     {375, 375, 450, 195},
     "Select",
     Font::Default,
     true,
     {},
     {},
     3},
    {"Label8",
     Kind::Label,
     "Frame1",
     {6150, 375, 540, 195},
     "Browse",
     Font::Default,
     true,
     {},
     {},
     4},
    {"Label1", Kind::Label, "Frame1", {75, 675, 330, 195}, "File1", Font::Default, true, {}, {}, 5},
    {"File1Selected",
     Kind::TickBox,
     "Frame1",
     {510, 675, 240, 240},
     "",
     Font::Default,
     false,
     "File1 selected",
     {},
     10},
    {"File1Text",
     Kind::TextBox,
     "Frame1",
     {825, 600, 5415, 330},
     "",
     Font::PathBox,
     false,
     "File1 path",
     {},
     11},
    {"Browse1",
     Kind::Button,
     "Frame1",
     {6300, 600, 345, 315},
     "---",
     Font::Default,
     false,
     "Browse for File1",
     {},
     22},
    {"Label2",
     Kind::Label,
     "Frame1",
     {75, 1125, 330, 195},
     "File2",
     Font::Default,
     true,
     {},
     {},
     6},
    {"File2Selected",
     Kind::TickBox,
     "Frame1",
     {510, 1125, 240, 240},
     "",
     Font::Default,
     false,
     "File2 selected",
     {},
     9},
    {"File2Text",
     Kind::TextBox,
     "Frame1",
     {825, 1050, 5415, 315},
     "",
     Font::PathBox,
     false,
     "File2 path",
     {},
     12},
    {"Browse2",
     Kind::Button,
     "Frame1",
     {6300, 1050, 345, 315},
     "---",
     Font::Default,
     false,
     "Browse for File2",
     {},
     23},
    {"Label5",
     Kind::Label,
     "Frame1",
     {75, 1575, 330, 195},
     "File3",
     Font::Default,
     true,
     {},
     {},
     7},
    {"File3Selected",
     Kind::TickBox,
     "Frame1",
     {510, 1575, 240, 240},
     "",
     Font::Default,
     false,
     "File3 selected",
     {},
     8},
    {"File3Text",
     Kind::TextBox,
     "Frame1",
     {825, 1500, 5415, 315},
     "",
     Font::PathBox,
     false,
     "File3 path",
     {},
     13},
    {"Browse3",
     Kind::Button,
     "Frame1",
     {6300, 1500, 345, 315},
     "---",
     Font::Default,
     false,
     "Browse for File3",
     {},
     24},
    {"Frame3", Kind::Frame, {}, {75, 2250, 6765, 690}, "", Font::Default, false, {}, {}, 1},
    {"SyncNowCommand",
     Kind::Button,
     "Frame3",
     {150, 225, 1140, 315},
     "Sync Now",
     Font::Default,
     false,
     {},
     {},
     14},
    {"AutoSyncCommand",
     Kind::Button,
     "Frame3",
     {1650, 225, 1140, 315},
     "Auto Sync",
     Font::Default,
     false,
     {},
     {},
     15},
    {"AutoSyncLabel",
     Kind::Badge,
     "Frame3",
     {2850, 285, 360, 225},
     " OFF ",
     Font::Badge,
     true,
     {},
     "Auto sync state",
     16},
    {"Label3",
     Kind::Label,
     "Frame3",
     {3465, 300, 915, 195},
     "Sync interval",
     Font::Default,
     true,
     {},
     {},
     17},
    {"AutoSyncIntervalText",
     Kind::TextBox,
     "Frame3",
     {4425, 255, 465, 285},
     "10",
     Font::PathBox,
     false,
     "Sync interval in seconds",
     {},
     18},
    {"Label4",
     Kind::Label,
     "Frame3",
     {4950, 300, 630, 195},
     "Seconds",
     Font::Default,
     true,
     {},
     {},
     19},
    {"HelpCommand",
     Kind::Button,
     "Frame3",
     {5925, 225, 690, 315},
     "Help",
     Font::Default,
     false,
     {},
     {},
     20},
    {"Frame2", Kind::Frame, {}, {75, 3075, 5265, 450}, "", Font::Default, false, {}, {}, 2},
    {"Label6",
     Kind::Label,
     "Frame2",
     {75, 150, 885, 195},
     "Latest Sync:",
     Font::Default,
     true,
     {},
     {},
     25},
    // As wide as the frame allows: a longer line is cut at the frame's inner edge.
    {"LastSyncLabel",
     Kind::Label,
     "Frame2",
     {1020, 150, 5265 - 1020, 195},
     "NIL",
     Font::Default,
     false,
     {},
     "Latest sync",
     26},
    {"HideToTrayCommand",
     Kind::Button,
     {},
     {5475, 3150, 1365, 345},
     "Hide to tray",
     Font::Default,
     false,
     {},
     {},
     21},
}};

// The index of a control in the table; the table's size for a name it lacks.
constexpr std::size_t indexOf(std::string_view name) {
    std::size_t index = 0;
    while (index < kSettingsControls.size() && kSettingsControls[index].name != name) {
        ++index;
    }
    return index;
}

constexpr const Control& control(std::string_view name) {
    return kSettingsControls[indexOf(name)];
}

// The designer names of a file's row, slot 1 to 3.
struct SlotNames {
    std::string_view caption;
    std::string_view tick;
    std::string_view path;
    std::string_view browse;
};
inline constexpr std::array<SlotNames, 3> kSlots{{
    {"Label1", "File1Selected", "File1Text", "Browse1"},
    {"Label2", "File2Selected", "File2Text", "Browse2"},
    {"Label5", "File3Selected", "File3Text", "Browse3"},
}};

// The tray menu, top to bottom; an entry without a name is a separator, and one without
// a caption takes the one the program gives it (it speaks of the system it runs on).
struct MenuEntry {
    std::string_view name;
    std::string_view caption;
};
inline constexpr std::array<MenuEntry, 7> kTrayMenu{{
    {"menuShowKelvane", "Show Kelvane Settings"},
    {"menuShowHelp", "Show Help"},
    {"menuStartWithSession", ""},  // "Start Kelvane with Windows", ticked when it does
    {},
    {"menuHideThisPopupMenu", "Hide this popup menu"},
    {},
    {"menuExitKelvane", "Exit Kelvane"},
}};

// The position of a menu command among the commands (separators not counted); the
// number of commands for a name the menu lacks.
constexpr int commandIndexOf(std::string_view name) {
    int index = 0;
    for (const MenuEntry& entry : kTrayMenu) {
        if (entry.name == name) {
            return index;
        }
        index += entry.name.empty() ? 0 : 1;
    }
    return index;
}

struct Colour {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};
inline constexpr Colour kText{0, 0, 0};
inline constexpr Colour kFailureText{255, 0, 0};  // the status line after a failed pass
inline constexpr Colour kBadgeOn{0, 255, 0};
inline constexpr Colour kBadgeOff{240, 240, 240};

}  // namespace kelvane::design
