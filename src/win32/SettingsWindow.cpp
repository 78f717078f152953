#include "win32/SettingsWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <type_traits>

#include "platform/WideText.h"
#include "win32/ControlIds.h"

namespace kelvane::win32 {
namespace {

using behaviour::StatusLook;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

constexpr COLORREF colour(design::Colour colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

constexpr COLORREF kBlack = colour(design::kText);
constexpr COLORREF kRed = colour(design::kFailureText);
constexpr COLORREF kOnGreen = colour(design::kBadgeOn);
constexpr COLORREF kOffGrey = colour(design::kBadgeOff);

ControlKind kindOf(design::Kind kind) {
    switch (kind) {
        case design::Kind::Frame:
            return ControlKind::Frame;
        case design::Kind::Label:
            return ControlKind::Label;
        case design::Kind::Badge:
            return ControlKind::Badge;
        case design::Kind::TickBox:
            return ControlKind::CheckBox;
        case design::Kind::TextBox:
            return ControlKind::TextBox;
        case design::Kind::Button:
            break;
    }
    return ControlKind::Button;
}

FontRole fontOf(design::Font font) {
    switch (font) {
        case design::Font::Default:
            return FontRole::Default;
        case design::Font::DefaultBold:
            return FontRole::DefaultBold;
        case design::Font::PathBox:
            return FontRole::PathBox;
        case design::Font::Badge:
            break;
    }
    return FontRole::Badge;
}

// The control's twips from the window's corner.
Twips inWindow(const design::Control& control) {
    Twips place{control.place.left, control.place.top, control.place.width, control.place.height};
    if (!control.frame.empty()) {
        const design::Twips& frame = design::control(control.frame).place;
        place.left += frame.left;
        place.top += frame.top;
    }
    return place;
}

// The table's controls in their creation order.
std::array<std::size_t, design::kSettingsControls.size()> creationOrder() {
    std::array<std::size_t, design::kSettingsControls.size()> order{};
    for (std::size_t index = 0; index < order.size(); ++index) {
        order[static_cast<std::size_t>(design::kSettingsControls[index].order)] = index;
    }
    return order;
}

RECT shifted(RECT place, int by) {
    ::OffsetRect(&place, by, 0);
    return place;
}

}  // namespace

SettingsWindow::SettingsWindow()
    : Window({kMainWindowClass, L"Kelvane", kStyle, design::kClientWidth, design::kClientHeight}),
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

Control* SettingsWindow::add(const design::Control& design) {
    const Control* frame = design.frame.empty() ? nullptr : built_[design::indexOf(design.frame)];
    const ControlArgs args{handle(),
                           controlId(design.name),
                           kindOf(design.kind),
                           platform::toWide(design.caption),
                           inWindow(design),
                           fontOf(design.font),
                           design.fitToText,
                           frame};
    std::unique_ptr<Control> control;
    switch (design.kind) {
        case design::Kind::Button: {
            auto button = std::make_unique<Button>(args);
            buttons_.push_back(button.get());
            control = std::move(button);
            break;
        }
        case design::Kind::TickBox:
            control = std::make_unique<TickBox>(args);
            break;
        case design::Kind::TextBox:
            control = std::make_unique<TextBox>(args);
            break;
        default:
            control = std::make_unique<Control>(args);
            break;
    }
    controls_.push_back(std::move(control));
    return controls_.back().get();
}

// The face's own handle on a control of the design.
template <typename Kind>
Kind* SettingsWindow::find(std::string_view name) const {
    return static_cast<Kind*>(built_[design::indexOf(name)]);
}

void SettingsWindow::build() {
    // Frames first and the rest in focus order: Tab follows the order of creation.
    for (const std::size_t index : creationOrder()) {
        built_[index] = add(design::kSettingsControls[index]);
    }
    for (int slot = 1; slot <= 3; ++slot) {
        const design::SlotNames& names = design::kSlots[static_cast<std::size_t>(slot - 1)];
        rows_[static_cast<std::size_t>(slot - 1)] = {
            find<TickBox>(names.tick), find<TextBox>(names.path), find<Button>(names.browse)};
    }
    syncNow_ = find<Button>("SyncNowCommand");
    autoSync_ = find<Button>("AutoSyncCommand");
    badge_ = find<Control>("AutoSyncLabel");
    interval_ = find<TextBox>("AutoSyncIntervalText");
    interval_->limitLength(5);
    help_ = find<Button>("HelpCommand");
    hideToTray_ = find<Button>("HideToTrayCommand");
    lastSync_ = find<Control>("LastSyncLabel");
    browseHeading_ = find<Control>("Label8");
    intervalCaption_ = find<Control>("Label3");
    secondsCaption_ = find<Control>("Label4");
    lastSyncCaption_ = find<Control>("Label6");
    nameForScreenReaders();
    connectClicks();
    addToolTip();
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
    for (std::size_t index = 0; index < built_.size(); ++index) {
        const design::Control& design = design::kSettingsControls[index];
        if (!design.accessibleName.empty()) {
            accessibleNames_.name(built_[index]->handle(), platform::toWide(design.accessibleName));
        }
        // A label's name is its changing caption; what it is about goes in the description.
        if (!design.accessibleDescription.empty()) {
            accessibleNames_.describe(built_[index]->handle(),
                                      platform::toWide(design.accessibleDescription));
        }
    }
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
    if (line == statusLine_ && look == statusLook_ && hint == toolTipText_) {
        return;  // every timed pass shows its line again; spare the repaint
    }
    statusLine_ = line;
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
