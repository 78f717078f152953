#include "design/HelpPageDesign.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvane::design {
namespace {

struct Expected {
    std::string name;
    int top;
    bool heading;
    std::string text;
};

// The nineteen lines as the page shows them, on the system this build is for.
std::vector<Expected> expectedLines() {
    return {
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
#ifdef _WIN32
        {"Label8", 3000, false, "File1 C:\\somefolder\\folder1\\myfile.txt"},
        {"Label9", 3225, false, "File2 C:\\somefolder\\folder2\\myfile.txt"},
        {"Label18", 3450, false, "File3 C:\\cloudfolder\\folder3\\myfile.txt"},
#else
        // The face puts the home folder in for the %1.
        {"Label8", 3000, false, "File1 %1/somefolder/folder1/myfile.txt"},
        {"Label9", 3225, false, "File2 %1/somefolder/folder2/myfile.txt"},
        {"Label18", 3450, false, "File3 %1/cloudfolder/folder3/myfile.txt"},
#endif
        {"Label6", 3825, true, "You can sync files manually or use Auto Sync"},
        {"Label7", 4050, false, "Test \"Sync Now\" before starting \"Auto Sync\""},
#ifdef _WIN32
        {"Label21", 4425, true, "You can add Kelvane shortcut to Windows Startup"},
        {"Label20", 4650, false, "Enter \"shell:startup\" in File Explorer for startup folder"},
        {"Label25", 4875, false, "Copy Kelvane shortcut into the startup folder"},
#else
        {"Label21", 4425, true, "You can add Kelvane to your desktop's Autostart"},
        {"Label20", 4650, false, "Open \"~/.config/autostart\" in your file manager"},
        {"Label25", 4875, false, "Copy Kelvane's .desktop file into the autostart folder"},
#endif
    };
}

TEST(HelpPageDesign, ShowsTheNineteenLinesOfItsSystemAtTheirTops) {
    const std::vector<Expected> expected = expectedLines();
    ASSERT_EQ(kHelpLines.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        const HelpLine& line = kHelpLines[index];
        EXPECT_EQ(line.name, expected[index].name);
        EXPECT_EQ(line.top, expected[index].top) << line.name;
        EXPECT_EQ(line.heading, expected[index].heading) << line.name;
        EXPECT_EQ(line.text, expected[index].text) << line.name;
        EXPECT_EQ(helpLineLeft(line), line.heading ? 150 : 450) << line.name;
    }
}

TEST(HelpPageDesign, LinesStand225TwipsApartInAGroupAnd375BetweenGroupsAllInsideTheFrame) {
    for (std::size_t index = 1; index < kHelpLines.size(); ++index) {
        const HelpLine& line = kHelpLines[index];
        EXPECT_EQ(line.top - kHelpLines[index - 1].top, line.heading ? 375 : 225) << line.name;
    }
    EXPECT_TRUE(kHelpLines.front().heading);
    EXPECT_LE(kHelpLines.back().top + kHelpLineHeight, kHelpOk.top);
    for (const Twips& inFrame : {kHelpVersion, kHelpOk}) {
        EXPECT_LE(inFrame.left + inFrame.width, kHelpFrame.width);
        EXPECT_LE(inFrame.top + inFrame.height, kHelpFrame.height);
    }
    EXPECT_LE(kHelpFrame.left + kHelpFrame.width, kHelpClientWidth);
    EXPECT_LE(kHelpFrame.top + kHelpFrame.height, kHelpClientHeight);
    EXPECT_EQ(kHelpOpenOffset, 400);
}

}  // namespace
}  // namespace kelvane::design
