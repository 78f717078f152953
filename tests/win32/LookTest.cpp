#include <gtest/gtest.h>

#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "win32/ControlIds.h"
#include "win32/Win32Face.h"

namespace kelvane::win32 {
namespace {

using behaviour::StatusLook;

// How a label is drawn: the colours its parent hands it, and its font's weight.
struct Drawn {
    COLORREF text = 0;
    COLORREF background = 0;
    LONG weight = 0;
};

class Look : public ::testing::Test {
  protected:
    std::unique_ptr<platform::FileSystem> fileSystem = platform::makeSystemFileSystem();
    std::unique_ptr<platform::SettingsStore> settingsStore = platform::makeSystemSettingsStore();
    Win32Face window;
    behaviour::Program program{window, *fileSystem, *settingsStore, "Z:\\nonexistent\\Kelvane.ini"};

    Look() { window.attach(program); }

    HWND main() const { return ::FindWindowW(kMainWindowClass, nullptr); }

    Drawn drawn(int id) const {
        HWND label = ::GetDlgItem(main(), id);
        HDC dc = ::CreateCompatibleDC(nullptr);
        ::SendMessageW(main(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(label));
        Drawn seen{::GetTextColor(dc), ::GetBkColor(dc), 0};
        ::DeleteDC(dc);
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)), sizeof font,
                     &font);
        seen.weight = font.lfWeight;
        return seen;
    }
};

TEST_F(Look, TheLatestSyncLineIsNormalBoldOrBoldRed) {
    window.showStatus("NIL", StatusLook::Normal, {});
    EXPECT_EQ(drawn(IDC_LastSync).text, RGB(0, 0, 0));
    EXPECT_LT(drawn(IDC_LastSync).weight, FW_BOLD);

    window.showStatus("File2 updated 08/12/2026 at 10:00:00", StatusLook::Bold, {});
    EXPECT_EQ(drawn(IDC_LastSync).text, RGB(0, 0, 0));
    EXPECT_GE(drawn(IDC_LastSync).weight, FW_BOLD);

    window.showStatus("Sync failed. File(s) might be open in other app.", StatusLook::Failure,
                      "the file is in use");
    EXPECT_EQ(drawn(IDC_LastSync).text, RGB(255, 0, 0));
    EXPECT_GE(drawn(IDC_LastSync).weight, FW_BOLD);
    EXPECT_EQ(window.windowState(), behaviour::WindowState::Hidden) << "nothing shown yet";
}

TEST_F(Look, TheBadgeIsGreenWhenOnAndLightGreyWhenOff) {
    EXPECT_EQ(drawn(IDC_AutoSyncBadge).background, ::GetSysColor(COLOR_WINDOW));
    window.setAutoSyncBadge(true);
    EXPECT_EQ(drawn(IDC_AutoSyncBadge).background, RGB(0, 255, 0));
    window.setAutoSyncBadge(false);
    EXPECT_EQ(drawn(IDC_AutoSyncBadge).background, RGB(240, 240, 240));
    EXPECT_EQ(drawn(IDC_AutoSyncBadge).text, RGB(0, 0, 0));
}

}  // namespace
}  // namespace kelvane::win32
