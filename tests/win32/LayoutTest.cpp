#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "platform/WideText.h"
#include "win32/ControlIds.h"
#include "win32/Win32Face.h"

namespace kelvane::win32 {
namespace {

SIZE clientSize(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    return {client.right, client.bottom};
}

SIZE windowSize(HWND window) {
    RECT outer{};
    ::GetWindowRect(window, &outer);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

// The window as start-up leaves it, in this process, without its settings file.
class Layout : public ::testing::Test {
  protected:
    std::unique_ptr<platform::FileSystem> fileSystem = platform::makeSystemFileSystem();
    std::unique_ptr<platform::SettingsStore> settingsStore = platform::makeSystemSettingsStore();
    Win32Face window;
    behaviour::Program program{window, *fileSystem, *settingsStore, "Z:\\nonexistent\\Kelvane.ini"};

    Layout() { window.attach(program); }
    HWND main() const { return ::FindWindowW(kMainWindowClass, nullptr); }
};

// Built from the design's table: every control there, under its number, with its caption.
TEST(SettingsWindowBuild, EveryControlOfTheDesignIsThereWithItsCaption) {
    Win32Face window;
    HWND main = ::FindWindowW(kMainWindowClass, nullptr);
    for (const design::Control& control : design::kSettingsControls) {
        HWND built = ::GetDlgItem(main, controlId(control.name));
        ASSERT_NE(built, nullptr) << control.name;
        wchar_t text[64] = {};
        ::GetWindowTextW(built, text, 64);
        EXPECT_EQ(platform::toUtf8(text), control.caption) << control.name;
    }
}

TEST_F(Layout, TheClientAreaAndControlsAreTheirTwipsAtTheWindowsDpi) {
    const int dpi = static_cast<int>(::GetDpiForWindow(main()));
    const SIZE client = clientSize(main());
    EXPECT_EQ(client.cx, ::MulDiv(6915, dpi, 1440));
    EXPECT_EQ(client.cy, ::MulDiv(3630, dpi, 1440));
    EXPECT_EQ(windowSize(::GetDlgItem(main(), IDC_File1Path)).cx, ::MulDiv(5415, dpi, 1440));
    EXPECT_EQ(windowSize(::GetDlgItem(main(), IDC_HideToTray)).cy, ::MulDiv(345, dpi, 1440));
}

TEST_F(Layout, AMoveToAMonitorOfTwiceTheDpiLaysTheWindowOutAgain) {
    RECT suggested{100, 100, 1100, 700};
    ::SendMessageW(main(), WM_DPICHANGED, MAKEWPARAM(192, 192),
                   reinterpret_cast<LPARAM>(&suggested));
    // Only the width of the client area: a real move would also redraw the caption at the
    // new DPI, which a message alone does not.
    EXPECT_EQ(clientSize(main()).cx, ::MulDiv(6915, 192, 1440));
    EXPECT_EQ(windowSize(::GetDlgItem(main(), IDC_File1Path)).cx, ::MulDiv(5415, 192, 1440));
    EXPECT_EQ(windowSize(::GetDlgItem(main(), IDC_HideToTray)).cy, ::MulDiv(345, 192, 1440));
    RECT browse{};
    ::GetWindowRect(::GetDlgItem(main(), IDC_File3Browse), &browse);
    ::MapWindowPoints(nullptr, main(), reinterpret_cast<POINT*>(&browse), 2);
    EXPECT_EQ(browse.left, ::MulDiv(75 + 6300, 192, 1440));
}

// Where a control lies in its window's client area, in pixels.
RECT placeOf(HWND control) {
    RECT place{};
    ::GetWindowRect(control, &place);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

std::wstring textOf(HWND control) {
    wchar_t text[256] = {};
    ::GetWindowTextW(control, text, 256);
    return text;
}

// The text as a label draws it: in its own font, tabs expanded, on one line.
SIZE drawnExtent(HWND control, const std::wstring& text) {
    HDC dc = ::GetDC(control);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT needed{};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return {needed.right - needed.left, needed.bottom - needed.top};
}

// The weight the system drew the control's font in, which a missing bold face would lower.
LONG drawnWeight(HWND control) {
    HDC dc = ::GetDC(control);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return metrics.tmWeight;
}

bool overlap(const RECT& a, const RECT& b) {
    RECT both{};
    return ::IntersectRect(&both, &a, &b) != FALSE;
}

struct Label {
    int id;
    int frame;
};

// Each label of a window whole: as wide and high as its text in its own font, inside its
// frame's border (a longer line may only be cut there), and clear of every other control.
void expectLabelsWhole(HWND window, const std::vector<Label>& labels, unsigned dpi) {
    const int border = ::GetSystemMetricsForDpi(SM_CXEDGE, dpi);
    for (const Label& label : labels) {
        HWND control = ::GetDlgItem(window, label.id);
        const RECT place = placeOf(control);
        const RECT frame = placeOf(::GetDlgItem(window, label.frame));
        const std::wstring text = textOf(control);
        const SIZE needed = drawnExtent(control, text);
        const LONG room = frame.right - border - place.left;
        EXPECT_GE(place.right - place.left, std::min(needed.cx, room))
            << "dpi " << dpi << ": \"" << std::string(text.begin(), text.end()) << "\" cut";
        EXPECT_GE(place.bottom - place.top, needed.cy) << "dpi " << dpi << ": " << label.id;
        EXPECT_LE(place.right, frame.right - border)
            << "dpi " << dpi << ": " << label.id << " over its frame's border";
        for (HWND other = ::GetWindow(window, GW_CHILD); other != nullptr;
             other = ::GetWindow(other, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            ::GetClassNameW(other, kind, 16);
            const bool isFrame =
                (::GetWindowLongPtrW(other, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX &&
                std::wstring_view(kind) == L"Button";
            if (other != control && !isFrame && ::IsWindowVisible(other)) {
                EXPECT_FALSE(overlap(place, placeOf(other)))
                    << "dpi " << dpi << ": " << label.id << " runs into " << ::GetDlgCtrlID(other);
            }
        }
    }
}

void moveToDpi(HWND window, unsigned dpi) {
    RECT suggested{100, 100, 1100, 700};
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                   reinterpret_cast<LPARAM>(&suggested));
}

// "060" with the caret after it, as the user leaves it: all three digits inside the box.
void expectThreeDigitsWhole(HWND box, unsigned dpi) {
    ::SetWindowTextW(box, L"060");
    ::SendMessageW(box, EM_SETSEL, 3, 3);
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
    RECT inside{};
    ::SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&inside));
    const LRESULT first = ::SendMessageW(box, EM_POSFROMCHAR, 0, 0);
    const LRESULT last = ::SendMessageW(box, EM_POSFROMCHAR, 2, 0);
    EXPECT_GE(static_cast<short>(LOWORD(first)), inside.left) << "dpi " << dpi << ": scrolled";
    EXPECT_LE(static_cast<short>(LOWORD(last)) + drawnExtent(box, L"0").cx, inside.right)
        << "dpi " << dpi;
}

class LayoutAtDpi : public Layout, public ::testing::WithParamInterface<unsigned> {};

TEST_P(LayoutAtDpi, EveryLabelShowsItsWholeCaptionInsideItsFrame) {
    const unsigned dpi = GetParam();
    window.openHelp(true);
    HWND help = ::FindWindowW(kHelpWindowClass, nullptr);
    ASSERT_NE(help, nullptr);
    moveToDpi(main(), dpi);
    moveToDpi(help, dpi);
    window.showStatus("File1 and File3 updated 12/31/2026 at 11:59:59 PM",
                      behaviour::StatusLook::Bold, {});

    expectLabelsWhole(main(),
                      {{IDC_SelectHeading, IDC_FilesFrame},
                       {IDC_BrowseHeading, IDC_FilesFrame},
                       {IDC_File1Caption, IDC_FilesFrame},
                       {IDC_File2Caption, IDC_FilesFrame},
                       {IDC_File3Caption, IDC_FilesFrame},
                       {IDC_AutoSyncBadge, IDC_SyncFrame},
                       {IDC_IntervalCaption, IDC_SyncFrame},
                       {IDC_SecondsCaption, IDC_SyncFrame},
                       {IDC_LastSyncCaption, IDC_LastSyncFrame},
                       {IDC_LastSync, IDC_LastSyncFrame}},
                      dpi);
    std::vector<Label> helpLabels{{IDC_HelpVersion, IDC_HelpFrame}};
    for (int line = 0; line < kHelpLineCount; ++line) {
        helpLabels.push_back({IDC_HelpFirstLine + line, IDC_HelpFrame});
    }
    expectLabelsWhole(help, helpLabels, dpi);
    expectThreeDigitsWhole(::GetDlgItem(main(), IDC_Interval), dpi);

    EXPECT_GE(drawnWeight(::GetDlgItem(main(), IDC_FilesFrame)), FW_BOLD) << "dpi " << dpi;
    EXPECT_GE(drawnWeight(::GetDlgItem(main(), IDC_LastSync)), FW_BOLD) << "dpi " << dpi;
    EXPECT_GE(drawnWeight(::GetDlgItem(help, IDC_HelpFirstLine)), FW_BOLD) << "dpi " << dpi;
    EXPECT_LT(drawnWeight(::GetDlgItem(help, IDC_HelpFirstLine + 1)), FW_BOLD) << "dpi " << dpi;
    RECT ok = placeOf(::GetDlgItem(help, IDC_HelpOk));
    RECT client{};
    ::GetClientRect(help, &client);
    EXPECT_LE(ok.right, client.right) << "dpi " << dpi << ": OK stays on the page";
}

INSTANTIATE_TEST_SUITE_P(Dpis, LayoutAtDpi, ::testing::Values(96u, 144u, 192u));

TEST_F(Layout, TheWindowCannotBeResized) {
    const LONG_PTR style = ::GetWindowLongPtrW(main(), GWL_STYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
}

}  // namespace
}  // namespace kelvane::win32
