#include "win32/HelpPage.h"

#include <algorithm>

#include "behaviour/Program.h"
#include "platform/WideText.h"
#include "win32/ControlIds.h"

namespace kelvane::win32 {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr int kClientWidth = 4800;  // twips
constexpr int kClientHeight = 5700;
constexpr int kFrameLeft = 75;
constexpr int kHeadingLeft = 150;  // relative to the frame
constexpr int kBodyLeft = 450;
constexpr int kLineHeight = 195;
constexpr int kOpenOffset = 400;  // right of and below the main window's corner

struct HelpLine {
    int top;
    bool heading;
    const wchar_t* text;
};

// Top to bottom. Within a group the lines are 225 twips apart, between groups 375.
constexpr HelpLine kHelpLines[kHelpLineCount] = {
    {225, true, L"Kelvane is a Background Process in System Tray"},
    {450, false, L"After the intial settings Kelvane will run in system tray"},
    {675, false, L"Click Kelvane tray icon to open it"},
    {1050, true, L"Kelvane compares file dates and times"},
    {1275, false, L"Kelvane \tsynchronizes two or three selected files"},
    {1500, false, L"Write or browse at least two files to sync"},
    {1725, false, L"Older files are replaced with the latest file"},
    {1950, false, L"If the dates and times are the same, nothing is done"},
    {2325, true, L"The folders and files must exist"},
    {2550, false, L"Initially create files to be synced"},
    {2775, false, L"File name must be identical in all folders eg."},
    {3000, false, L"File1 C:\\somefolder\\folder1\\myfile.txt"},
    {3225, false, L"File2 C:\\somefolder\\folder2\\myfile.txt"},
    {3450, false, L"File3 C:\\cloudfolder\\folder3\\myfile.txt"},
    {3825, true, L"You can sync files manually or use Auto Sync"},
    {4050, false, L"Test \"Sync Now\" before starting \"Auto Sync\""},
    {4425, true, L"You can add Kelvane shortcut to Windows Startup"},
    {4650, false, L"Enter \"shell:startup\" in File Explorer for startup folder"},
    {4875, false, L"Copy Kelvane shortcut into the startup folder"},
};

}  // namespace

HelpPage::HelpPage()
    : Window({kHelpWindowClass, L"Kelvane Help", kStyle, kClientWidth, kClientHeight}) {}

HelpPage::~HelpPage() {
    close();
}

void HelpPage::open(HWND mainWindow, bool ownedByMainWindow) {
    if (isOpen()) {
        ::ShowWindow(handle(), SW_SHOWNORMAL);
        ::SetForegroundWindow(handle());
        return;
    }
    // The main window's corner counts whether it is shown or hidden; a minimised one has
    // its corner only in its placement (which is in work-area coordinates).
    RECT main{};
    ::GetWindowRect(mainWindow, &main);
    if (::IsIconic(mainWindow)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        ::GetWindowPlacement(mainWindow, &placement);
        main = placement.rcNormalPosition;
    }
    const unsigned dpi = ::GetDpiForWindow(mainWindow);
    const POINT corner{main.left + toPixels(kOpenOffset, dpi),
                       main.top + toPixels(kOpenOffset, dpi)};
    create(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)), nullptr, corner,
           outerSize(dpi), ownedByMainWindow ? mainWindow : nullptr);
    build();
    layout(this->dpi());
    ::ShowWindow(handle(), SW_SHOWNORMAL);
    ::SetFocus(controls_.back()->handle());
}

void HelpPage::close() {
    if (!isOpen()) {
        return;
    }
    destroy();  // its controls go with it
    controls_.clear();
    fonts_.reset();
}

void HelpPage::raise() {
    if (isOpen()) {
        ::SetWindowPos(handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ::SetForegroundWindow(handle());
    }
}

void HelpPage::build() {
    controls_.push_back(std::make_unique<Control>(ControlArgs{
        handle(), IDC_HelpFrame, ControlKind::Frame, L"", {kFrameLeft, 0, 4665, 5640}}));
    const Control* frame = controls_.back().get();
    for (int line = 0; line < kHelpLineCount; ++line) {
        const HelpLine& help = kHelpLines[line];
        const int left = kFrameLeft + (help.heading ? kHeadingLeft : kBodyLeft);
        controls_.push_back(std::make_unique<Control>(
            ControlArgs{handle(),
                        IDC_HelpFirstLine + line,
                        ControlKind::Label,
                        help.text,
                        {left, help.top, 0, kLineHeight},
                        help.heading ? FontRole::DefaultBold : FontRole::Default,
                        true,
                        frame}));
    }
    controls_.push_back(std::make_unique<Control>(ControlArgs{handle(),
                                                              IDC_HelpVersion,
                                                              ControlKind::Label,
                                                              platform::toWide(behaviour::kVersion),
                                                              {kFrameLeft + 1950, 5325, 390, 210},
                                                              FontRole::Version,
                                                              true,
                                                              frame}));
    auto ok = std::make_unique<Button>(ControlArgs{
        handle(), IDC_HelpOk, ControlKind::Button, L"OK", {kFrameLeft + 3990, 5175, 540, 315}});
    ok->makeDefault();
    controls_.push_back(std::move(ok));
}

void HelpPage::layout(unsigned dpi) {
    fonts_ = std::make_unique<FontSet>(dpi);
    for (const auto& control : controls_) {
        control->layout(*fonts_);
    }
    growToLines(dpi);
}

// The lines are laid out for a narrow font. Where a wider one stands in, the frame and the
// page grow to the right instead of cutting them or running over the frame's border, and
// OK keeps its corner, as on Linux.
void HelpPage::growToLines(unsigned dpi) {
    Control& frame = *controls_.front();
    int rightmost = 0;
    for (int line = 0; line < kHelpLineCount; ++line) {
        const Control& label = *controls_[static_cast<std::size_t>(line) + 1];
        rightmost =
            std::max(rightmost, static_cast<int>(label.place().left) + label.captionWidth());
    }
    const int growth = std::max(
        0, rightmost + toPixels(kHeadingLeft, dpi) - static_cast<int>(frame.place().right));
    const SIZE size = outerSize(dpi, growth);
    ::SetWindowPos(handle(), nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (growth == 0) {
        return;
    }
    RECT place = frame.place();
    place.right += growth;
    frame.setPlace(place);
    for (const auto& control : controls_) {
        if (control->id() == IDC_HelpOk) {
            place = control->place();
            ::OffsetRect(&place, growth, 0);
            control->setPlace(place);
        } else if (control.get() != &frame) {
            control->layout(*fonts_);  // cut at the grown frame's edge, if at all
        }
    }
}

LRESULT HelpPage::answer(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // OK, Enter, and Esc (which the dialog keys turn into IDCANCEL).
            if (LOWORD(wParam) == IDC_HelpOk || LOWORD(wParam) == IDOK ||
                LOWORD(wParam) == IDCANCEL) {
                close();
            }
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_DPICHANGED:
            layout(followDpiChange(wParam, lParam));
            return 0;
        default:
            return passOn(message, wParam, lParam);
    }
}

}  // namespace kelvane::win32
