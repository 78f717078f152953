#include <gtest/gtest.h>

#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "win32/ControlIds.h"
#include "win32/MainWindow.h"

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
    MainWindow window;
    behaviour::Program program{window, *fileSystem, "Z:\\nonexistent\\Kelvane.ini"};

    Layout() { window.attach(program); }
    HWND main() const { return ::FindWindowW(kMainWindowClass, nullptr); }
};

TEST_F(Layout, TheClientAreaAndControlsAreTheirTwipsAtTheWindowsDpi) {
    const int dpi = static_cast<int>(::GetDpiForWindow(main()));
    const SIZE client = clientSize(main());
    EXPECT_EQ(client.cx, ::MulDiv(6915, dpi, 1440));
    EXPECT_EQ(client.cy, ::MulDiv(3630, dpi, 1440));
    EXPECT_EQ(windowSize(::GetDlgItem(main(), IDC_File1Text)).cx, ::MulDiv(5415, dpi, 1440));
    EXPECT_EQ(windowSize(::GetDlgItem(main(), IDC_HideToTrayCommand)).cy, ::MulDiv(345, dpi, 1440));
}

TEST_F(Layout, AMoveToAMonitorOfTwiceTheDpiLaysTheWindowOutAgain) {
    RECT suggested{100, 100, 1100, 700};
    ::SendMessageW(main(), WM_DPICHANGED, MAKEWPARAM(192, 192),
                   reinterpret_cast<LPARAM>(&suggested));
    // Only the width of the client area: a real move would also redraw the caption at the
    // new DPI, which a message alone does not.
    EXPECT_EQ(clientSize(main()).cx, ::MulDiv(6915, 192, 1440));
    EXPECT_EQ(windowSize(::GetDlgItem(main(), IDC_File1Text)).cx, ::MulDiv(5415, 192, 1440));
    EXPECT_EQ(windowSize(::GetDlgItem(main(), IDC_HideToTrayCommand)).cy, ::MulDiv(345, 192, 1440));
    RECT browse{};
    ::GetWindowRect(::GetDlgItem(main(), IDC_Browse3), &browse);
    ::MapWindowPoints(nullptr, main(), reinterpret_cast<POINT*>(&browse), 2);
    EXPECT_EQ(browse.left, ::MulDiv(75 + 6300, 192, 1440));
}

TEST_F(Layout, TheWindowCannotBeResized) {
    const LONG_PTR style = ::GetWindowLongPtrW(main(), GWL_STYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
}

}  // namespace
}  // namespace kelvane::win32
