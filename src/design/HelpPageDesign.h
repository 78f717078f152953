#pragma once

// The help page as its designer drew it: the nineteen lines with their places, the
// version line and OK, in data every face builds from. No toolkit here.

#include <array>
#include <string_view>

#include "design/SettingsWindowDesign.h"

namespace kelvane::design {

inline constexpr int kHelpClientWidth = 4800;  // twips
inline constexpr int kHelpClientHeight = 5700;
// The frame that holds everything, from the client area's corner.
inline constexpr Twips kHelpFrame{75, 0, 4665, 5640};
// From the frame's corner. A heading starts further left than the lines under it.
inline constexpr int kHelpHeadingLeft = 150;
inline constexpr int kHelpBodyLeft = 450;
inline constexpr int kHelpLineHeight = 195;
inline constexpr Twips kHelpVersion{1950, 5325, 390, 210};
inline constexpr Twips kHelpOk{3990, 5175, 540, 315};
// How far right of and below the main window's outer corner the page opens.
inline constexpr int kHelpOpenOffset = 400;

struct HelpLine {
    std::string_view name;  // the designer's name
    int top;                // twips from the frame's top
    bool heading;
    std::string_view text;
};

// The lines that name paths and the way to start with the session speak of the system
// the program runs on. Outside Windows the example paths lie in the user's home folder,
// which the face puts in for the %1, so they can be typed as they stand.
#ifdef _WIN32
inline constexpr std::string_view kExampleFile1 = "File1 C:\\somefolder\\folder1\\myfile.txt";
inline constexpr std::string_view kExampleFile2 = "File2 C:\\somefolder\\folder2\\myfile.txt";
inline constexpr std::string_view kExampleFile3 = "File3 C:\\cloudfolder\\folder3\\myfile.txt";
inline constexpr std::string_view kSessionHeading =
    "You can add Kelvane shortcut to Windows Startup";
inline constexpr std::string_view kSessionFolder =
    "Enter \"shell:startup\" in File Explorer for startup folder";
inline constexpr std::string_view kSessionCopy = "Copy Kelvane shortcut into the startup folder";
#else
inline constexpr std::string_view kExampleFile1 = "File1 %1/somefolder/folder1/myfile.txt";
inline constexpr std::string_view kExampleFile2 = "File2 %1/somefolder/folder2/myfile.txt";
inline constexpr std::string_view kExampleFile3 = "File3 %1/cloudfolder/folder3/myfile.txt";
inline constexpr std::string_view kSessionHeading =
    "You can add Kelvane to your desktop's Autostart";
inline constexpr std::string_view kSessionFolder =
    "Open \"~/.config/autostart\" in your file manager";
inline constexpr std::string_view kSessionCopy =
    "Copy Kelvane's .desktop file into the autostart folder";
#endif

// Top to bottom. Within a group the lines are 225 twips apart, between groups 375.
inline constexpr std::array<HelpLine, 19> kHelpLines{{
    {"Label16", 225, true, "Kelvane is a Background Process in System Tray"},
    {"Label17", 450, false, "After the intial settings Kelvane will run in system tray"},
    {"Label15", 675, false, "Click Kelvane tray icon to open it"},
    {"Label1", 1050, true, "Kelvane compares file dates and times"},
    {"Label22", 1275, false, "Kelvane \tsynchronizes two or three selected files"},
    {"Label19", 1500, false, "Write or browse at least two files to sync"},
    {"Label3", 1725, false, "Older files are replaced with the latest file"},
    {"Label2", 1950, false, "If the dates and times are the same, nothing is done"},
    {"Label5", 2325, true, "The folders and files must exist"},
    {"Label4", 2550, false, "Initially create files to be synced"},
    {"Label14", 2775, false, "File name must be identical in all folders eg."},
    {"Label8", 3000, false, kExampleFile1},
    {"Label9", 3225, false, kExampleFile2},
    {"Label18", 3450, false, kExampleFile3},
    {"Label6", 3825, true, "You can sync files manually or use Auto Sync"},
    {"Label7", 4050, false, "Test \"Sync Now\" before starting \"Auto Sync\""},
    {"Label21", 4425, true, kSessionHeading},
    {"Label20", 4650, false, kSessionFolder},
    {"Label25", 4875, false, kSessionCopy},
}};

constexpr int helpLineLeft(const HelpLine& line) {
    return line.heading ? kHelpHeadingLeft : kHelpBodyLeft;
}

}  // namespace kelvane::design
