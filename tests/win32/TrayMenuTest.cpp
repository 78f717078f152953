// The tray menu as the user opens it, read inside the program's own process (menus are
// that process's own objects): its entries, their places and the start-with-Windows tick.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "support/FakeSessionStart.h"
#include "win32/ControlIds.h"
#include "win32/Win32Face.h"

namespace kelvane::win32 {
namespace {

struct Entry {
    std::wstring caption;
    UINT id = 0;
    bool ticked = false;
    bool separator = false;
};

// Filled while the menu is open, from inside its modal loop, which this closes again.
std::vector<Entry> seen;

void CALLBACK readOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND open = ::FindWindowW(L"#32768", nullptr);
    if (open == nullptr) {
        return;  // not up yet: the next tick looks again
    }
    ::KillTimer(nullptr, timer);
    HMENU menu = reinterpret_cast<HMENU>(::SendMessageW(open, MN_GETHMENU, 0, 0));
    for (int position = 0; position < ::GetMenuItemCount(menu); ++position) {
        wchar_t caption[64] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(position), caption, 64, MF_BYPOSITION);
        const UINT state = ::GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION);
        seen.push_back({caption, ::GetMenuItemID(menu, position), (state & MF_CHECKED) != 0,
                        (state & MF_SEPARATOR) != 0});
    }
    ::EndMenu();
}

class TrayMenu : public ::testing::Test {
  protected:
    std::unique_ptr<platform::FileSystem> fileSystem = platform::makeSystemFileSystem();
    std::unique_ptr<platform::SettingsStore> settingsStore = platform::makeSystemSettingsStore();
    testing::FakeSessionStart sessionStart;
    Win32Face window;
    behaviour::Program program{window, *fileSystem, *settingsStore, "Z:\\nonexistent\\Kelvane.ini"};

    TrayMenu() {
        window.attach(program);
        program.setSessionStart(sessionStart);
    }

    // A right click on the tray icon, as the shell reports it.
    std::vector<Entry> openMenu() {
        seen.clear();
        ::SetTimer(nullptr, 0, 20, readOpenMenu);
        ::SendMessageW(::FindWindowW(kMainWindowClass, nullptr), kTrayCallbackMessage,
                       MAKEWPARAM(100, 100), MAKELPARAM(WM_CONTEXTMENU, 1));
        return seen;
    }
};

TEST_F(TrayMenu, StartWithWindowsFollowsShowHelpAndIsTickedAsTheSystemSays) {
    program.start();
    std::vector<Entry> entries = openMenu();
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[1].caption, L"Show Help");
    EXPECT_EQ(entries[2].caption, L"Start Kelvane with Windows");
    EXPECT_EQ(entries[2].id, static_cast<UINT>(IDM_StartWithSession));
    EXPECT_FALSE(entries[2].ticked);
    EXPECT_TRUE(entries[3].separator);
    EXPECT_EQ(entries[6].caption, L"Exit Kelvane");

    sessionStart.enabled = true;  // switched on elsewhere, say by another copy's menu
    entries = openMenu();
    ASSERT_EQ(entries.size(), 7u) << "the entry is added once";
    EXPECT_TRUE(entries[2].ticked);

    ::SendMessageW(::FindWindowW(kMainWindowClass, nullptr), WM_COMMAND, IDM_StartWithSession, 0);
    EXPECT_FALSE(sessionStart.enabled) << "choosing it reaches the program";
    EXPECT_FALSE(openMenu()[2].ticked);
}

}  // namespace
}  // namespace kelvane::win32
