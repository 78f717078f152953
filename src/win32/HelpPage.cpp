#include "win32/HelpPage.h"

#include <algorithm>

#include "behaviour/Program.h"
#include "design/HelpPageDesign.h"
#include "platform/WideText.h"
#include "win32/ControlIds.h"

namespace kelvane::win32 {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

// Twips from the client area's corner.
Twips inPage(const design::Twips& inFrame) {
    return {design::kHelpFrame.left + inFrame.left, design::kHelpFrame.top + inFrame.top,
            inFrame.width, inFrame.height};
}

}  // namespace

HelpPage::HelpPage()
    : Window({kHelpWindowClass, L"Kelvane Help", kStyle, design::kHelpClientWidth,
              design::kHelpClientHeight}) {}

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
    const POINT corner{main.left + toPixels(design::kHelpOpenOffset, dpi),
                       main.top + toPixels(design::kHelpOpenOffset, dpi)};
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
    const design::Twips& framed = design::kHelpFrame;
    controls_.push_back(std::make_unique<Control>(
        ControlArgs{handle(),
                    IDC_HelpFrame,
                    ControlKind::Frame,
                    L"",
                    {framed.left, framed.top, framed.width, framed.height}}));
    const Control* frame = controls_.back().get();
    for (int line = 0; line < kHelpLineCount; ++line) {
        const design::HelpLine& help = design::kHelpLines[static_cast<std::size_t>(line)];
        controls_.push_back(std::make_unique<Control>(ControlArgs{
            handle(), IDC_HelpFirstLine + line, ControlKind::Label, platform::toWide(help.text),
            inPage({design::helpLineLeft(help), help.top, 0, design::kHelpLineHeight}),
            help.heading ? FontRole::DefaultBold : FontRole::Default, true, frame}));
    }
    controls_.push_back(std::make_unique<Control>(ControlArgs{
        handle(), IDC_HelpVersion, ControlKind::Label, platform::toWide(behaviour::kVersion),
        inPage(design::kHelpVersion), FontRole::Version, true, frame}));
    auto ok = std::make_unique<Button>(
        ControlArgs{handle(), IDC_HelpOk, ControlKind::Button, L"OK", inPage(design::kHelpOk)});
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
    const int growth = std::max(0, rightmost + toPixels(design::kHelpHeadingLeft, dpi) -
                                       static_cast<int>(frame.place().right));
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
