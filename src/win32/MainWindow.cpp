#include "win32/MainWindow.h"

#include <commctrl.h>
#include <shobjidl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "platform/WideText.h"
#include "win32/ControlIds.h"

namespace kelvane::win32 {
namespace {

using behaviour::StatusLook;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kClientWidth = 6915;  // twips
constexpr int kClientHeight = 3630;
constexpr UINT_PTR kAutoSyncTimer = 1;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kOnGreen = RGB(0, 255, 0);
constexpr COLORREF kOffGrey = RGB(240, 240, 240);
// How long a log-off waits for a copy to stop and the settings to be saved.
constexpr ULONGLONG kSessionEndWaitMs = 3000;

// Twips rectangle of a control inside a frame, from the frame's own corner.
Twips inFrame(const Twips& frame, int left, int top, int width, int height) {
    return {frame.left + left, frame.top + top, width, height};
}

// A stored position in pixels. A number from the file far beyond any screen stays far
// beyond it, within what a window position can hold.
int positionPixels(double twips, unsigned dpi) {
    constexpr double kFarOff = 1 << 24;
    const double pixels = twips * dpi / 1440.0;
    return std::isfinite(pixels) ? static_cast<int>(std::clamp(pixels, -kFarOff, kFarOff)) : 0;
}

RECT shifted(RECT place, int by) {
    ::OffsetRect(&place, by, 0);
    return place;
}

// "060" scrolled to its end would show as "60": the box grows until three digits and the
// caret after them fit inside its margins.
void showThreeDigitsWhole(Control& box) {
    RECT inside{};
    ::SendMessageW(box.handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&inside));
    HDC dc = ::GetDC(box.handle());
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(box.handle(), WM_GETFONT, 0, 0)));
    SIZE digits{};
    ::GetTextExtentPoint32W(dc, L"000", 3, &digits);
    ::SelectObject(dc, old);
    ::ReleaseDC(box.handle(), dc);
    const int caret = 2 * ::GetSystemMetrics(SM_CXBORDER);
    const int missing = digits.cx + caret - (inside.right - inside.left);
    if (missing > 0) {
        RECT place = box.place();
        place.right += missing;
        box.setPlace(place);
    }
}

constexpr Twips kFrame1{75, 150, 6765, 2040};
constexpr Twips kFrame3{75, 2250, 6765, 690};
constexpr Twips kFrame2{75, 3075, 5265, 450};

// A COM interface pointer released when it goes out of scope.
template <typename Interface>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    Interface* operator->() const { return pointer_; }
    Interface** out() { return &pointer_; }
    void** outVoid() { return reinterpret_cast<void**>(&pointer_); }
    explicit operator bool() const { return pointer_ != nullptr; }

  private:
    Interface* pointer_ = nullptr;
};

void registerClass(WNDPROC procedure, HICON icon, HICON smallIcon) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hIcon = icon;
    windowClass.hIconSm = smallIcon;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    ::RegisterClassExW(&windowClass);
}

// Shared: the system keeps the system-sized images for the program's whole run.
HICON loadIcon(int size) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1),
                                           IMAGE_ICON, size, size, LR_SHARED));
}

// The buttons of a box that must go: "No" where there is one, else Cancel.
BOOL CALLBACK dismissBox(HWND window, LPARAM) {
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (std::wstring_view(className) != L"#32770" || !::IsWindowVisible(window)) {
        return TRUE;
    }
    HWND no = ::GetDlgItem(window, IDNO);
    const int button = no != nullptr ? IDNO : IDCANCEL;
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, button)));
    return TRUE;
}

UINT boxIcon(behaviour::BoxKind kind) {
    switch (kind) {
        case behaviour::BoxKind::Information:
            return MB_ICONINFORMATION;
        case behaviour::BoxKind::Warning:
            return MB_ICONWARNING;
        case behaviour::BoxKind::Plain:
            break;
    }
    return 0;
}

}  // namespace

MainWindow::MainWindow()
    : onBrush_(::CreateSolidBrush(kOnGreen)), offBrush_(::CreateSolidBrush(kOffGrey)) {
    smallIcon_ = loadIcon(::GetSystemMetrics(SM_CXSMICON));
    registerClass(&windowProcedure, loadIcon(::GetSystemMetrics(SM_CXICON)), smallIcon_);
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    ::CreateWindowExW(0, kMainWindowClass, L"Kelvane", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                      this);
    build();
    const unsigned dpi = this->dpi();
    const SIZE size = outerSize(dpi);
    ::SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    layout(dpi);
}

MainWindow::~MainWindow() {
    finishWork();
    helpPage_.close();
    tray_.reset();
    accessibleNames_.clear();
    if (trayMenu_ != nullptr) {
        ::DestroyMenu(trayMenu_);
    }
    HWND closing = window_;
    window_ = nullptr;
    ::DestroyWindow(closing);
    controls_.clear();
}

// ---- Building the window ----------------------------------------------------------------

Control* MainWindow::add(const ControlArgs& args) {
    ControlArgs placed = args;
    placed.parent = window_;
    controls_.push_back(std::make_unique<Control>(placed));
    return controls_.back().get();
}

void MainWindow::build() {
    // Frames first and the rest in focus order: Tab follows the order of creation.
    const Control* files = add({nullptr, IDC_Frame1, ControlKind::Frame, L"Files to Sync", kFrame1,
                                FontRole::DefaultBold});
    const Control* sync = add({nullptr, IDC_Frame3, ControlKind::Frame, L"", kFrame3});
    const Control* lastSync = add({nullptr, IDC_Frame2, ControlKind::Frame, L"", kFrame2});
    buildFilesFrame(files);
    buildSyncFrame(sync);
    hideToTray_ = add({nullptr,
                       IDC_HideToTrayCommand,
                       ControlKind::Button,
                       L"Hide to tray",
                       {5475, 3150, 1365, 345}});
    for (int slot = 1; slot <= 3; ++slot) {
        const int top = 600 + (slot - 1) * 450;
        rows_[static_cast<std::size_t>(slot - 1)].browse =
            add({nullptr, IDC_Browse1 + (slot - 1) * 4, ControlKind::Button, L"---",
                 inFrame(kFrame1, 6300, top, 345, 315)});
    }
    buildLastSyncFrame(lastSync);
    nameForScreenReaders();
    connectClicks();

    toolTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(lastSync_->handle());
    tool.lpszText = toolTipText_.data();
    ::SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::buildFilesFrame(const Control* frame) {
    add({nullptr, IDC_Label7, ControlKind::Label, L"Select", inFrame(kFrame1, 375, 375, 450, 195),
         FontRole::Default, true, frame});
    browseHeading_ = add({nullptr, IDC_Label8, ControlKind::Label, L"Browse",
                          inFrame(kFrame1, 6150, 375, 540, 195), FontRole::Default, true, frame});
    constexpr int captions[] = {IDC_Label1, IDC_Label2, IDC_Label5};
    for (int slot = 1; slot <= 3; ++slot) {
        const int top = 675 + (slot - 1) * 450;
        add({nullptr, captions[slot - 1], ControlKind::Label, L"File" + std::to_wstring(slot),
             inFrame(kFrame1, 75, top, 330, 195), FontRole::Default, true, frame});
    }
    // The tick boxes come in the order 3, 2, 1 for the keyboard.
    for (int slot = 3; slot >= 1; --slot) {
        const int top = 675 + (slot - 1) * 450;
        rows_[static_cast<std::size_t>(slot - 1)].tick =
            add({nullptr, IDC_File1Selected + (slot - 1) * 4, ControlKind::CheckBox, L"",
                 inFrame(kFrame1, 510, top, 240, 240)});
    }
    for (int slot = 1; slot <= 3; ++slot) {
        const int top = 600 + (slot - 1) * 450;
        rows_[static_cast<std::size_t>(slot - 1)].path =
            add({nullptr, IDC_File1Text + (slot - 1) * 4, ControlKind::TextBox, L"",
                 inFrame(kFrame1, 825, top, 5415, slot == 1 ? 330 : 315), FontRole::PathBox});
    }
}

void MainWindow::buildSyncFrame(const Control* frame) {
    syncNow_ = add({nullptr, IDC_SyncNowCommand, ControlKind::Button, L"Sync Now",
                    inFrame(kFrame3, 150, 225, 1140, 315)});
    autoSync_ = add({nullptr, IDC_AutoSyncCommand, ControlKind::Button, L"Auto Sync",
                     inFrame(kFrame3, 1650, 225, 1140, 315)});
    badge_ = add({nullptr, IDC_AutoSyncLabel, ControlKind::Badge, L" OFF ",
                  inFrame(kFrame3, 2850, 285, 360, 225), FontRole::Badge, true, frame});
    intervalCaption_ = add({nullptr, IDC_Label3, ControlKind::Label, L"Sync interval",
                            inFrame(kFrame3, 3465, 300, 915, 195), FontRole::Default, true, frame});
    interval_ = add({nullptr, IDC_AutoSyncIntervalText, ControlKind::TextBox, L"10",
                     inFrame(kFrame3, 4425, 255, 465, 285), FontRole::PathBox});
    ::SendMessageW(interval_->handle(), EM_LIMITTEXT, 5, 0);
    secondsCaption_ = add({nullptr, IDC_Label4, ControlKind::Label, L"Seconds",
                           inFrame(kFrame3, 4950, 300, 630, 195), FontRole::Default, true, frame});
    help_ = add({nullptr, IDC_HelpCommand, ControlKind::Button, L"Help",
                 inFrame(kFrame3, 5925, 225, 690, 315)});
}

void MainWindow::buildLastSyncFrame(const Control* frame) {
    lastSyncCaption_ = add({nullptr, IDC_Label6, ControlKind::Label, L"Latest Sync:",
                            inFrame(kFrame2, 75, 150, 885, 195), FontRole::Default, true, frame});
    // As wide as the frame allows: a longer line is cut at the frame's inner edge.
    lastSync_ = add({nullptr, IDC_LastSyncLabel, ControlKind::Label, L"NIL",
                     inFrame(kFrame2, 1020, 150, kFrame2.width - 1020, 195), FontRole::Default,
                     false, frame});
}

void MainWindow::nameForScreenReaders() {
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

void MainWindow::connectClicks() {
    syncNow_->onClick = [this] { program_->syncNowClicked(); };
    autoSync_->onClick = [this] { program_->autoSyncClicked(); };
    help_->onClick = [this] { program_->helpClicked(); };
    hideToTray_->onClick = [this] { program_->hideToTrayClicked(); };
    for (int slot = 1; slot <= 3; ++slot) {
        row(slot).browse->onClick = [this, slot] { program_->browseClicked(slot); };
    }
}

unsigned MainWindow::dpi() const {
    return ::GetDpiForWindow(window_);
}

SIZE MainWindow::outerSize(unsigned dpi) const {
    RECT rect{0, 0, toPixels(kClientWidth, dpi), toPixels(kClientHeight, dpi)};
    ::AdjustWindowRectExForDpi(&rect, kStyle, FALSE, 0, dpi);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void MainWindow::layout(unsigned dpi) {
    auto fonts = std::make_unique<FontSet>(dpi);
    for (const auto& control : controls_) {
        control->layout(*fonts);
    }
    fonts_ = std::move(fonts);  // the old fonts go only once no control uses them
    keepCaptionsClearOfControls(dpi);
}

// Captions sized for the designed font can grow with a stand-in or at another DPI; they
// move clear of the control beside them rather than run under it, as on Linux.
void MainWindow::keepCaptionsClearOfControls(unsigned dpi) {
    const int gap = toPixels(60, dpi);
    const RECT firstBrowse = row(1).browse->place();
    if (const RECT heading = browseHeading_->place(); heading.right > firstBrowse.right) {
        browseHeading_->setPlace(shifted(heading, firstBrowse.right - heading.right));
    }
    showThreeDigitsWhole(*interval_);
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

// ---- Running ----------------------------------------------------------------------------

void MainWindow::showAtStart() {
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
    // A first run's help page stays in front of the window it belongs to.
    helpPage_.raise();
}

int MainWindow::runMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Enter and Esc as in a dialog; Esc on the help page closes it.
        if (helpPage_.isOpen() && ::IsDialogMessageW(helpPage_.handle(), &message)) {
            continue;
        }
        if (window_ != nullptr && ::IsDialogMessageW(window_, &message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void MainWindow::finishWork() {
    worker_.stop();
}

LRESULT CALLBACK MainWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = static_cast<MainWindow*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ != window || self->program_ == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            commandArrived(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            return colourOfStatic(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
        case WM_TIMER:
            if (wParam == kAutoSyncTimer) {
                program_->timerTicked();
            }
            return 0;
        case kTrayCallbackMessage:
            trayEvent(wParam, lParam);
            return 0;
        case kRunQueuedTasksMessage:
            runNextTask();
            return 0;
        case WM_ACTIVATE:
            if (HIWORD(wParam) != 0) {  // activated while minimised: no control to focus
                return ::DefWindowProcW(window_, message, wParam, lParam);
            }
            keepFocus(LOWORD(wParam) != WA_INACTIVE);
            return 0;
        case WM_CLOSE:  // the close box, the system menu's Close, Alt+F4
            program_->closeRequested(behaviour::CloseCause::UserCommand);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;  // never hold up a log-off; the settings are saved at its end
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                answerSessionEnd();
            }
            return 0;
        case WM_DPICHANGED:
            layout(followDpiChange(window_, wParam, lParam, outerSize(LOWORD(wParam))));
            return 0;
        default:
            if (message == taskbarCreated_ && taskbarCreated_ != 0) {
                if (tray_) {
                    tray_->taskbarCreated();
                }
                return 0;
            }
            return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

// As a dialog does: the control that had the focus gets it back when the window is
// activated again, and on the first activation the first control in the focus order.
void MainWindow::keepFocus(bool activated) {
    if (!activated) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(window_, focus)) {
            lastFocus_ = focus;
        }
        return;
    }
    HWND wanted = lastFocus_ != nullptr && ::IsWindowEnabled(lastFocus_) ? lastFocus_ : nullptr;
    if (wanted == nullptr) {
        wanted = ::GetNextDlgTabItem(window_, nullptr, FALSE);
    }
    ::SetFocus(wanted);
}

void MainWindow::commandArrived(int id, int code) {
    switch (id) {
        case IDM_menuShowKelvane:
            program_->showSettingsChosen();
            return;
        case IDM_menuShowHelp:
            program_->showHelpChosen();
            return;
        case IDM_menuHideThisPopupMenu:
            return;  // choosing it has closed the menu
        case IDM_menuExitKelvane:
            program_->exitChosen();
            return;
        case IDM_menuStartWithSession:
            program_->sessionStartChosen();
            return;
        default:
            break;
    }
    if (code != BN_CLICKED) {
        return;
    }
    for (const auto& control : controls_) {
        if (control->id() == id && control->onClick) {
            control->onClick();
            return;
        }
    }
}

LRESULT MainWindow::colourOfStatic(HWND control, HDC dc) {
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
    return ::DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                            reinterpret_cast<LPARAM>(control));
}

// ---- The tray icon and its menu ---------------------------------------------------------

void MainWindow::trayEvent(WPARAM anchor, LPARAM event) {
    switch (LOWORD(event)) {
        case WM_LBUTTONDOWN:
        case NIN_KEYSELECT:  // Enter or Space on the icon, for keyboard users
            program_->trayIconClicked();
            break;
        case WM_CONTEXTMENU:
            showTrayMenu({GET_X_LPARAM(anchor), GET_Y_LPARAM(anchor)});
            break;
        default:
            break;
    }
}

void MainWindow::showTrayMenu(POINT anchor) {
    if (trayMenu_ == nullptr) {
        trayMenu_ = ::CreatePopupMenu();
        ::AppendMenuW(trayMenu_, MF_STRING, IDM_menuShowKelvane, L"Show Kelvane Settings");
        ::AppendMenuW(trayMenu_, MF_STRING, IDM_menuShowHelp, L"Show Help");
        ::AppendMenuW(trayMenu_, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(trayMenu_, MF_STRING, IDM_menuHideThisPopupMenu, L"Hide this popup menu");
        ::AppendMenuW(trayMenu_, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(trayMenu_, MF_STRING, IDM_menuExitKelvane, L"Exit Kelvane");
    }
    program_->trayMenuOpening();
    updateSessionStartEntry();
    // Without the window in front, the menu would not close when the user clicks
    // elsewhere; the null message afterwards lets the next menu open at once.
    ::SetForegroundWindow(window_);
    ::TrackPopupMenuEx(trayMenu_, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, anchor.x, anchor.y, window_,
                       nullptr);
    ::PostMessageW(window_, WM_NULL, 0, 0);
}

void MainWindow::showSessionStartEntry(const std::string& caption, bool ticked) {
    sessionEntryCaption_ = platform::toWide(caption);
    sessionEntryTicked_ = ticked;
    updateSessionStartEntry();
}

// In its place after "Show Help", added the first time the menu has a caption for it.
void MainWindow::updateSessionStartEntry() {
    if (trayMenu_ == nullptr || sessionEntryCaption_.empty()) {
        return;
    }
    const UINT flags = MF_STRING | (sessionEntryTicked_ ? MF_CHECKED : MF_UNCHECKED);
    if (::GetMenuState(trayMenu_, IDM_menuStartWithSession, MF_BYCOMMAND) == UINT(-1)) {
        ::InsertMenuW(trayMenu_, 2, MF_BYPOSITION | flags, IDM_menuStartWithSession,
                      sessionEntryCaption_.c_str());
    } else {
        ::ModifyMenuW(trayMenu_, IDM_menuStartWithSession, MF_BYCOMMAND | flags,
                      IDM_menuStartWithSession, sessionEntryCaption_.c_str());
    }
}

bool MainWindow::addTrayIcon() {
    tray_ = std::make_unique<TrayIcon>(window_, kTrayCallbackMessage, smallIcon_);
    return tray_->add();
}

void MainWindow::removeTrayIcon() {
    if (tray_) {
        tray_->remove();
    }
}

void MainWindow::notifyFromTray(const std::string& text) {
    if (tray_) {
        tray_->notify(platform::toWide(text));
    }
}

// ---- Controls ---------------------------------------------------------------------------

void MainWindow::setTitle(const std::string& title) {
    ::SetWindowTextW(window_, platform::toWide(title).c_str());
}

std::string MainWindow::pathText(int slot) const {
    return platform::toUtf8(row(slot).path->text());
}

void MainWindow::setPathText(int slot, const std::string& text) {
    row(slot).path->setText(platform::toWide(text));
}

int MainWindow::tickState(int slot) const {
    switch (row(slot).tick->checkState()) {
        case BST_CHECKED:
            return behaviour::kTicked;
        case BST_INDETERMINATE:
            return behaviour::kGreyed;
        default:
            return behaviour::kUnticked;
    }
}

void MainWindow::setTickState(int slot, int state) {
    const int check = state == behaviour::kTicked   ? BST_CHECKED
                      : state == behaviour::kGreyed ? BST_INDETERMINATE
                                                    : BST_UNCHECKED;
    row(slot).tick->setCheckState(check);
}

std::string MainWindow::intervalText() const {
    return platform::toUtf8(interval_->text());
}

void MainWindow::setIntervalText(const std::string& text) {
    interval_->setText(platform::toWide(text));
}

void MainWindow::lockSlots(bool locked) {
    for (const SlotRow& slot : rows_) {
        slot.tick->setEnabled(!locked);
    }
    for (const SlotRow& slot : rows_) {
        slot.path->setEnabled(!locked);
    }
    interval_->setEnabled(!locked);
}

void MainWindow::setAutoSyncBadge(bool on) {
    badgeState_ = on ? Badge::On : Badge::Off;
    badge_->setText(on ? L" ON " : L" OFF ");
    ::InvalidateRect(badge_->handle(), nullptr, TRUE);
}

void MainWindow::showStatus(const std::string& text, StatusLook look, const std::string& detail) {
    const std::wstring line = platform::toWide(text);
    const std::wstring hint = platform::toWide(detail);
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
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(lastSync_->handle());
    tool.lpszText = toolTipText_.data();
    ::SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

// ---- The window -------------------------------------------------------------------------

behaviour::WindowState MainWindow::windowState() const {
    if (!::IsWindowVisible(window_)) {
        return behaviour::WindowState::Hidden;
    }
    return ::IsIconic(window_) ? behaviour::WindowState::Minimised : behaviour::WindowState::Shown;
}

void MainWindow::showWindow() {
    ::ShowWindow(window_, ::IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(window_);
}

void MainWindow::hideWindow() {
    ::ShowWindow(window_, SW_HIDE);
}

void MainWindow::minimiseWindow() {
    ::ShowWindow(window_, SW_MINIMIZE);
}

behaviour::WindowPosition MainWindow::windowPosition() const {
    RECT outer{};
    if (::IsIconic(window_)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        ::GetWindowPlacement(window_, &placement);
        outer = placement.rcNormalPosition;
    } else {
        ::GetWindowRect(window_, &outer);
    }
    const double twipsPerPixel = 1440.0 / dpi();
    return {outer.top * twipsPerPixel, outer.left * twipsPerPixel};
}

void MainWindow::moveWindow(behaviour::WindowPosition position) {
    ::SetWindowPos(window_, nullptr, positionPixels(position.left, dpi()),
                   positionPixels(position.top, dpi()), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Any overlap with a monitor's work area keeps the place the user chose, as on Linux: a
// window partly above the screen still shows enough of itself to be dragged back.
bool MainWindow::isOnAnyScreen(behaviour::WindowPosition position) const {
    RECT placed{};
    ::GetWindowRect(window_, &placed);
    ::OffsetRect(&placed, positionPixels(position.left, dpi()) - placed.left,
                 positionPixels(position.top, dpi()) - placed.top);
    struct Search {
        RECT placed;
        bool found;
    } search{placed, false};
    ::EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM parameter) -> BOOL {
            auto* search = reinterpret_cast<Search*>(parameter);
            MONITORINFO info{};
            info.cbSize = sizeof info;
            RECT shown{};
            search->found = ::GetMonitorInfoW(monitor, &info) &&
                            ::IntersectRect(&shown, &search->placed, &info.rcWork);
            return search->found ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void MainWindow::moveToPrimaryScreen() {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT outer{};
    ::GetWindowRect(window_, &outer);
    const RECT& work = monitor.rcWork;
    ::SetWindowPos(window_, nullptr,
                   work.left + (work.right - work.left - (outer.right - outer.left)) / 2,
                   work.top + (work.bottom - work.top - (outer.bottom - outer.top)) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::openHelp(bool ownedByWindow) {
    helpPage_.open(window_, ownedByWindow);
}

void MainWindow::closeHelp() {
    helpPage_.close();
}

// ---- Boxes and the file dialog ----------------------------------------------------------

void MainWindow::showMessage(behaviour::BoxKind kind, const std::string& text) {
    if (dismissing_) {
        return;
    }
    ::MessageBoxW(window_, platform::toWide(text).c_str(), L"Kelvane",
                  MB_OK | MB_SYSTEMMODAL | boxIcon(kind));
}

bool MainWindow::askYesNo(const std::string& text) {
    if (dismissing_) {
        return false;
    }
    return ::MessageBoxW(window_, platform::toWide(text).c_str(), L"Kelvane",
                         MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING | MB_SYSTEMMODAL) == IDYES;
}

std::optional<std::string> MainWindow::chooseFile(const std::string& title,
                                                  const std::string& folder) {
    ComRef<IFileOpenDialog> dialog;
    if (dismissing_ ||
        FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFileOpenDialog, dialog.outVoid()))) {
        return std::nullopt;
    }
    dialog->SetTitle(platform::toWide(title).c_str());
    const COMDLG_FILTERSPEC allFiles{L"All Files", L"*.*"};
    dialog->SetFileTypes(1, &allFiles);
    ComRef<IShellItem> start;
    if (!folder.empty() &&
        SUCCEEDED(::SHCreateItemFromParsingName(platform::toWide(folder).c_str(), nullptr,
                                                IID_IShellItem, start.outVoid()))) {
        dialog->SetFolder(start.operator->());
    }
    ComRef<IShellItem> chosen;
    if (FAILED(dialog->Show(window_)) || FAILED(dialog->GetResult(chosen.out()))) {
        return std::nullopt;  // cancelled
    }
    wchar_t* path = nullptr;
    if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        return std::nullopt;
    }
    std::string utf8 = platform::toUtf8(path);
    ::CoTaskMemFree(path);
    return utf8;
}

void MainWindow::dismissBoxes() {
    dismissing_ = true;
    ::EnumThreadWindows(::GetCurrentThreadId(), dismissBox, 0);
}

// ---- Time and threads -------------------------------------------------------------------

void MainWindow::startTimer(int milliseconds) {
    ::SetTimer(window_, kAutoSyncTimer, static_cast<UINT>(milliseconds), nullptr);
}

void MainWindow::stopTimer() {
    ::KillTimer(window_, kAutoSyncTimer);
}

std::string MainWindow::statusDateTime() const {
    wchar_t date[96] = {};
    wchar_t time[96] = {};
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 96,
                      nullptr);
    // No flags: the user's time format, which carries the seconds.
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, time, 96);
    return platform::toUtf8(date) + " at " + platform::toUtf8(time);
}

void MainWindow::runInBackground(std::function<void()> work) {
    worker_.run(std::move(work));
}

void MainWindow::runOnUiThread(std::function<void()> task) {
    {
        const std::lock_guard<std::mutex> lock(tasksMutex_);
        tasks_.push_back(std::move(task));
    }
    ::PostMessageW(window_, kRunQueuedTasksMessage, 0, 0);
}

// One task per message, oldest first, so a task that opens a box cannot let a later one
// overtake an earlier one.
void MainWindow::runNextTask() {
    std::function<void()> task;
    {
        const std::lock_guard<std::mutex> lock(tasksMutex_);
        if (tasks_.empty()) {
            return;
        }
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
}

// Windows may end the process as soon as this returns: stop any copy, save, and only
// then return, pumping the messages that bring the copy's end back.
void MainWindow::answerSessionEnd() {
    program_->closeRequested(behaviour::CloseCause::SessionEnd);
    const ULONGLONG deadline = ::GetTickCount64() + kSessionEndWaitMs;
    MSG message{};
    while (!program_->ended() && ::GetTickCount64() < deadline) {
        if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            continue;
        }
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void MainWindow::endProgram() {
    stopTimer();
    ::PostQuitMessage(0);
}

}  // namespace kelvane::win32
