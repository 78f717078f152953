#include "win32/SettingsWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <type_traits>

#include "win32/ControlIds.h"

namespace kelvane::win32 {
namespace {

using behaviour::StatusLook;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kClientWidth = 6915;  // twips
constexpr int kClientHeight = 3630;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kOnGreen = RGB(0, 255, 0);
constexpr COLORREF kOffGrey = RGB(240, 240, 240);

constexpr Twips kFilesFrame{75, 150, 6765, 2040};
constexpr Twips kSyncFrame{75, 2250, 6765, 690};
constexpr Twips kLastSyncFrame{75, 3075, 5265, 450};

// Twips rectangle of a control inside a frame, from the frame's own corner.
Twips inFrame(const Twips& frame, int left, int top, int width, int height) {
    return {frame.left + left, frame.top + top, width, height};
}

RECT shifted(RECT place, int by) {
    ::OffsetRect(&place, by, 0);
    return place;
}

}  // namespace

SettingsWindow::SettingsWindow()
    : Window({kMainWindowClass, L"Kelvane", kStyle, kClientWidth, kClientHeight}),
      onBrush_(::CreateSolidBrush(kOnGreen)),
      offBrush_(::CreateSolidBrush(kOffGrey)) {
    create(programIcon(::GetSystemMetrics(SM_CXICON)), programIcon(::GetSystemMetrics(SM_CXSMICON)),
           {CW_USEDEFAULT, CW_USEDEFAULT}, {CW_USEDEFAULT, CW_USEDEFAULT}, nullptr);
    build();
    const unsigned dpi = this->dpi();
    const SIZE size = outerSize(dpi);
    ::SetWindowPos(handle(), nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    layout(dpi);
}

SettingsWindow::~SettingsWindow() {
    accessibleNames_.clear();
    destroy();
    controls_.clear();
}

void SettingsWindow::connect(Events events) {
    events_ = std::move(events);
    connected_ = true;
}

void SettingsWindow::onMessage(UINT message, MessageHandler handler) {
    handlers_[message] = std::move(handler);
}

// ---- Building the window ----------------------------------------------------------------

template <typename Kind>
Kind* SettingsWindow::add(const ControlArgs& args) {
    ControlArgs placed = args;
    placed.parent = handle();
    auto control = std::make_unique<Kind>(placed);
    Kind* added = control.get();
    controls_.push_back(std::move(control));
    if constexpr (std::is_same_v<Kind, Button>) {
        buttons_.push_back(added);
    }
    return added;
}

void SettingsWindow::build() {
    // Frames first and the rest in focus order: Tab follows the order of creation.
    const Control* files = add<Control>({nullptr, IDC_FilesFrame, ControlKind::Frame,
                                         L"Files to Sync", kFilesFrame, FontRole::DefaultBold});
    const Control* sync =
        add<Control>({nullptr, IDC_SyncFrame, ControlKind::Frame, L"", kSyncFrame});
    const Control* lastSync =
        add<Control>({nullptr, IDC_LastSyncFrame, ControlKind::Frame, L"", kLastSyncFrame});
    buildFilesFrame(files);
    buildSyncFrame(sync);
    hideToTray_ = add<Button>(
        {nullptr, IDC_HideToTray, ControlKind::Button, L"Hide to tray", {5475, 3150, 1365, 345}});
    for (int slot = 1; slot <= 3; ++slot) {
        const int top = 600 + (slot - 1) * 450;
        rows_[static_cast<std::size_t>(slot - 1)].browse =
            add<Button>({nullptr, slotControlId(slot, SlotControl::Browse), ControlKind::Button,
                         L"---", inFrame(kFilesFrame, 6300, top, 345, 315)});
    }
    buildLastSyncFrame(lastSync);
    nameForScreenReaders();
    connectClicks();
    addToolTip();
}

void SettingsWindow::buildFilesFrame(const Control* frame) {
    add<Control>({nullptr, IDC_SelectHeading, ControlKind::Label, L"Select",
                  inFrame(kFilesFrame, 375, 375, 450, 195), FontRole::Default, true, frame});
    browseHeading_ =
        add<Control>({nullptr, IDC_BrowseHeading, ControlKind::Label, L"Browse",
                      inFrame(kFilesFrame, 6150, 375, 540, 195), FontRole::Default, true, frame});
    for (int slot = 1; slot <= 3; ++slot) {
        const int top = 675 + (slot - 1) * 450;
        add<Control>({nullptr, slotControlId(slot, SlotControl::Caption), ControlKind::Label,
                      L"File" + std::to_wstring(slot), inFrame(kFilesFrame, 75, top, 330, 195),
                      FontRole::Default, true, frame});
    }
    // The tick boxes come in the order 3, 2, 1 for the keyboard.
    for (int slot = 3; slot >= 1; --slot) {
        const int top = 675 + (slot - 1) * 450;
        rows_[static_cast<std::size_t>(slot - 1)].tick =
            add<TickBox>({nullptr, slotControlId(slot, SlotControl::Tick), ControlKind::CheckBox,
                          L"", inFrame(kFilesFrame, 510, top, 240, 240)});
    }
    for (int slot = 1; slot <= 3; ++slot) {
        const int top = 600 + (slot - 1) * 450;
        rows_[static_cast<std::size_t>(slot - 1)].path = add<TextBox>(
            {nullptr, slotControlId(slot, SlotControl::Path), ControlKind::TextBox, L"",
             inFrame(kFilesFrame, 825, top, 5415, slot == 1 ? 330 : 315), FontRole::PathBox});
    }
}

void SettingsWindow::buildSyncFrame(const Control* frame) {
    syncNow_ = add<Button>({nullptr, IDC_SyncNow, ControlKind::Button, L"Sync Now",
                            inFrame(kSyncFrame, 150, 225, 1140, 315)});
    autoSync_ = add<Button>({nullptr, IDC_AutoSync, ControlKind::Button, L"Auto Sync",
                             inFrame(kSyncFrame, 1650, 225, 1140, 315)});
    badge_ = add<Control>({nullptr, IDC_AutoSyncBadge, ControlKind::Badge, L" OFF ",
                           inFrame(kSyncFrame, 2850, 285, 360, 225), FontRole::Badge, true, frame});
    intervalCaption_ =
        add<Control>({nullptr, IDC_IntervalCaption, ControlKind::Label, L"Sync interval",
                      inFrame(kSyncFrame, 3465, 300, 915, 195), FontRole::Default, true, frame});
    interval_ = add<TextBox>({nullptr, IDC_Interval, ControlKind::TextBox, L"10",
                              inFrame(kSyncFrame, 4425, 255, 465, 285), FontRole::PathBox});
    interval_->limitLength(5);
    secondsCaption_ =
        add<Control>({nullptr, IDC_SecondsCaption, ControlKind::Label, L"Seconds",
                      inFrame(kSyncFrame, 4950, 300, 630, 195), FontRole::Default, true, frame});
    help_ = add<Button>({nullptr, IDC_Help, ControlKind::Button, L"Help",
                         inFrame(kSyncFrame, 5925, 225, 690, 315)});
}

void SettingsWindow::buildLastSyncFrame(const Control* frame) {
    lastSyncCaption_ =
        add<Control>({nullptr, IDC_LastSyncCaption, ControlKind::Label, L"Latest Sync:",
                      inFrame(kLastSyncFrame, 75, 150, 885, 195), FontRole::Default, true, frame});
    // As wide as the frame allows: a longer line is cut at the frame's inner edge.
    lastSync_ = add<Control>({nullptr, IDC_LastSync, ControlKind::Label, L"NIL",
                              inFrame(kLastSyncFrame, 1020, 150, kLastSyncFrame.width - 1020, 195),
                              FontRole::Default, false, frame});
}

void SettingsWindow::addToolTip() {
    toolTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle(), nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = handle();
    tool.uId = reinterpret_cast<UINT_PTR>(lastSync_->handle());
    tool.lpszText = toolTipText_.data();
    ::SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void SettingsWindow::nameForScreenReaders() {
    for (int slot = 1; slot <= 3; ++slot) {
        const std::wstring file = L"File" + std::to_wstring(slot);
        accessibleNames_.name(row(slot).tick->handle(), file + L" selected");
        accessibleNames_.name(row(slot).path->handle(), file + L" path");
        accessibleNames_.name(row(slot).browse->handle(), L"Browse for " + file);
    }
    accessibleNames_.name(interval_->handle(), L"Sync interval in seconds");
    // A label's name is its changing caption; what it is about goes in the description.
    accessibleNames_.describe(lastSync_->handle(), L"Latest sync");
    accessibleNames_.describe(badge_->handle(), L"Auto sync state");
}

void SettingsWindow::connectClicks() {
    syncNow_->onClick = [this] { events_.syncNow(); };
    autoSync_->onClick = [this] { events_.autoSync(); };
    help_->onClick = [this] { events_.help(); };
    hideToTray_->onClick = [this] { events_.hideToTray(); };
    for (int slot = 1; slot <= 3; ++slot) {
        row(slot).browse->onClick = [this, slot] { events_.browse(slot); };
    }
}

void SettingsWindow::layout(unsigned dpi) {
    auto fonts = std::make_unique<FontSet>(dpi);
    for (const auto& control : controls_) {
        control->layout(*fonts);
    }
    fonts_ = std::move(fonts);  // the old fonts go only once no control uses them
    keepCaptionsClearOfControls(dpi);
}

// Captions sized for the designed font can grow with a stand-in or at another DPI; they
// move clear of the control beside them rather than run under it, as on Linux.
void SettingsWindow::keepCaptionsClearOfControls(unsigned dpi) {
    const int gap = toPixels(60, dpi);
    const RECT firstBrowse = row(1).browse->place();
    if (const RECT heading = browseHeading_->place(); heading.right > firstBrowse.right) {
        browseHeading_->setPlace(shifted(heading, firstBrowse.right - heading.right));
    }
    interval_->showThreeDigitsWhole();
    const RECT box = interval_->place();
    if (const RECT seconds = secondsCaption_->place(); seconds.left < box.right + gap) {
        secondsCaption_->setPlace(shifted(seconds, box.right + gap - seconds.left));
    }
    if (const RECT caption = intervalCaption_->place(); caption.right + gap > box.left) {
        const LONG width = caption.right - caption.left;
        const LONG left = std::max(badge_->place().right + gap, box.left - gap - width);
        intervalCaption_->setPlace(shifted(caption, static_cast<int>(left - caption.left)));
    }
    const RECT caption = lastSyncCaption_->place();
    if (RECT line = lastSync_->place(); caption.right + gap > line.left) {
        line.left = caption.right + gap;
        lastSync_->setPlace(line);
    }
}

// ---- What the face shows ----------------------------------------------------------------

void SettingsWindow::lockSlots(bool locked) {
    for (const SlotRow& slot : rows_) {
        slot.tick->setEnabled(!locked);
    }
    for (const SlotRow& slot : rows_) {
        slot.path->setEnabled(!locked);
    }
    interval_->setEnabled(!locked);
}

void SettingsWindow::setAutoSyncBadge(bool on) {
    badgeState_ = on ? Badge::On : Badge::Off;
    badge_->setText(on ? L" ON " : L" OFF ");
    ::InvalidateRect(badge_->handle(), nullptr, TRUE);
}

void SettingsWindow::showStatus(const std::wstring& line, StatusLook look,
                                const std::wstring& hint) {
    if (line == lastSync_->text() && look == statusLook_ && hint == toolTipText_) {
        return;  // every timed pass shows its line again; spare the repaint
    }
    lastSync_->setText(line);
    if (look != statusLook_) {
        statusLook_ = look;
        lastSync_->setFont(look == StatusLook::Normal ? FontRole::Default : FontRole::DefaultBold,
                           *fonts_);
    }
    ::InvalidateRect(lastSync_->handle(), nullptr, TRUE);
    toolTipText_ = hint;
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = handle();
    tool.uId = reinterpret_cast<UINT_PTR>(lastSync_->handle());
    tool.lpszText = toolTipText_.data();
    ::SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

// ---- Messages ---------------------------------------------------------------------------

LRESULT SettingsWindow::answer(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!connected_) {
        return passOn(message, wParam, lParam);
    }
    switch (message) {
        case WM_COMMAND:
            commandArrived(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            return colourOfStatic(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
        case WM_ACTIVATE:
            if (HIWORD(wParam) != 0) {  // activated while minimised: no control to focus
                return passOn(message, wParam, lParam);
            }
            keepFocus(LOWORD(wParam) != WA_INACTIVE);
            return 0;
        case WM_CLOSE:
            events_.close();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;  // never hold up a log-off; the settings are saved at its end
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                events_.sessionEnd();
            }
            return 0;
        case WM_DPICHANGED:
            layout(followDpiChange(wParam, lParam));
            return 0;
        default:
            if (const auto found = handlers_.find(message); found != handlers_.end()) {
                found->second(wParam, lParam);
                return 0;
            }
            return passOn(message, wParam, lParam);
    }
}

// As a dialog does: the control that had the focus gets it back when the window is
// activated again, and on the first activation the first control in the focus order.
void SettingsWindow::keepFocus(bool activated) {
    if (!activated) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(handle(), focus)) {
            lastFocus_ = focus;
        }
        return;
    }
    HWND wanted = lastFocus_ != nullptr && ::IsWindowEnabled(lastFocus_) ? lastFocus_ : nullptr;
    if (wanted == nullptr) {
        wanted = ::GetNextDlgTabItem(handle(), nullptr, FALSE);
    }
    ::SetFocus(wanted);
}

// Menu entries first: their WM_COMMAND carries no control and a zero code.
void SettingsWindow::commandArrived(int id, int code) {
    if (events_.menuChosen(id)) {
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    for (Button* button : buttons_) {
        if (button->id() == id && button->onClick) {
            button->onClick();
            return;
        }
    }
}

LRESULT SettingsWindow::colourOfStatic(HWND control, HDC dc) {
    if (control == lastSync_->handle()) {
        ::SetTextColor(dc, statusLook_ == StatusLook::Failure ? kRed : kBlack);
        ::SetBkColor(dc, ::GetSysColor(COLOR_3DFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_3DFACE));
    }
    if (control == badge_->handle()) {
        // Before auto sync was first switched either way: the window colour.
        const bool unset = badgeState_ == Badge::Unset;
        const bool on = badgeState_ == Badge::On;
        ::SetTextColor(dc, kBlack);
        ::SetBkColor(dc, unset ? ::GetSysColor(COLOR_WINDOW) : on ? kOnGreen : kOffGrey);
        HBRUSH brush = unset ? ::GetSysColorBrush(COLOR_WINDOW)
                       : on  ? onBrush_.get()
                             : offBrush_.get();
        return reinterpret_cast<LRESULT>(brush);
    }
    return passOn(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                  reinterpret_cast<LPARAM>(control));
}

}  // namespace kelvane::win32
