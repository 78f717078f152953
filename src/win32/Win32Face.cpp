#include "win32/Win32Face.h"

#include "platform/WideText.h"
#include "win32/ControlIds.h"
#include "win32/MessageLoop.h"
#include "win32/WindowPlace.h"

namespace kelvane::win32 {
namespace {

constexpr UINT_PTR kAutoSyncTimer = 1;
// How long a log-off waits for a copy to stop and the settings to be saved.
constexpr ULONGLONG kSessionEndWaitMs = 3000;

}  // namespace

Win32Face::Win32Face(std::unique_ptr<Boxes> boxes)
    : tray_(window_.handle(), kTrayCallbackMessage, programIcon(::GetSystemMetrics(SM_CXSMICON))),
      boxes_(std::move(boxes)),
      tasks_(window_.handle(), kRunQueuedTasksMessage) {}

Win32Face::~Win32Face() {
    finishWork();
    helpPage_.close();
    tray_.remove();
}

void Win32Face::attach(behaviour::Program& program) {
    program_ = &program;
    connectTray();
    connectWindow();
}

void Win32Face::connectWindow() {
    window_.onMessage(WM_TIMER, [this](WPARAM timer, LPARAM) {
        if (timer == kAutoSyncTimer) {
            program_->timerTicked();
        }
    });
    window_.onMessage(kTrayCallbackMessage,
                      [this](WPARAM anchor, LPARAM event) { tray_.eventArrived(anchor, event); });
    if (const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
        taskbarCreated != 0) {
        window_.onMessage(taskbarCreated, [this](WPARAM, LPARAM) { tray_.taskbarCreated(); });
    }
    window_.onMessage(kRunQueuedTasksMessage, [this](WPARAM, LPARAM) { tasks_.runNext(); });
    window_.connect({
        .syncNow = [this] { program_->syncNowClicked(); },
        .autoSync = [this] { program_->autoSyncClicked(); },
        .help = [this] { program_->helpClicked(); },
        .hideToTray = [this] { program_->hideToTrayClicked(); },
        .browse = [this](int slot) { program_->browseClicked(slot); },
        .close = [this] { program_->closeRequested(behaviour::CloseCause::UserCommand); },
        .sessionEnd = [this] { answerSessionEnd(); },
        .menuChosen = [this](int id) { return tray_.choose(id); },
    });
}

std::function<void()> Win32Face::trayAction(std::string_view name) {
    if (name == "menuShowKelvane") {
        return [this] { program_->showSettingsChosen(); };
    }
    if (name == "menuShowHelp") {
        return [this] { program_->showHelpChosen(); };
    }
    if (name == "menuExitKelvane") {
        return [this] { program_->exitChosen(); };
    }
    if (name == "menuStartWithSession") {
        return [this] { program_->sessionStartChosen(); };
    }
    return {};  // "Hide this popup menu": choosing it has closed the menu
}

void Win32Face::connectTray() {
    std::vector<TrayMenuEntry> entries;
    for (const design::MenuEntry& entry : design::kTrayMenu) {
        if (entry.name.empty()) {
            entries.push_back({});  // a separator
        } else {
            entries.push_back(
                {menuId(entry.name), platform::toWide(entry.caption), trayAction(entry.name)});
        }
    }
    tray_.setMenu(std::move(entries));
    tray_.onClicked = [this] { program_->trayIconClicked(); };
    tray_.onMenuOpening = [this] { program_->trayMenuOpening(); };
}

void Win32Face::showAtStart() {
    ::ShowWindow(window_.handle(), SW_SHOWNORMAL);
    ::UpdateWindow(window_.handle());
    // A first run's help page stays in front of the window it belongs to.
    helpPage_.raise();
}

int Win32Face::runMessageLoop() {
    // Tab, Enter and Esc as in a dialog; Esc on the help page closes it.
    return win32::runMessageLoop([this](MSG& message) {
        return (helpPage_.isOpen() && ::IsDialogMessageW(helpPage_.handle(), &message)) ||
               ::IsDialogMessageW(window_.handle(), &message);
    });
}

void Win32Face::finishWork() {
    worker_.stop();
}

// Windows may end the process as soon as this returns: stop any copy, save, and only
// then return, pumping the messages that bring the copy's end back.
void Win32Face::answerSessionEnd() {
    program_->closeRequested(behaviour::CloseCause::SessionEnd);
    pumpMessagesUntil([this] { return program_->ended(); }, kSessionEndWaitMs);
}

// ---- Controls ---------------------------------------------------------------------------

void Win32Face::setTitle(const std::string& title) {
    ::SetWindowTextW(window_.handle(), platform::toWide(title).c_str());
}

std::string Win32Face::pathText(int slot) const {
    return platform::toUtf8(window_.pathText(slot));
}

void Win32Face::setPathText(int slot, const std::string& text) {
    window_.setPathText(slot, platform::toWide(text));
}

behaviour::Tick Win32Face::tickState(int slot) const {
    return window_.tick(slot);
}

void Win32Face::setTickState(int slot, behaviour::Tick tick) {
    window_.setTick(slot, tick);
}

std::string Win32Face::intervalText() const {
    return platform::toUtf8(window_.intervalText());
}

void Win32Face::setIntervalText(const std::string& text) {
    window_.setIntervalText(platform::toWide(text));
}

void Win32Face::lockSlots(bool locked) {
    window_.lockSlots(locked);
}

void Win32Face::setAutoSyncBadge(bool on) {
    window_.setAutoSyncBadge(on);
}

void Win32Face::showStatus(const std::string& text, behaviour::StatusLook look,
                           const std::string& detail) {
    window_.showStatus(platform::toWide(text), look, platform::toWide(detail));
}

// ---- The window -------------------------------------------------------------------------

behaviour::WindowState Win32Face::windowState() const {
    if (!::IsWindowVisible(window_.handle())) {
        return behaviour::WindowState::Hidden;
    }
    return ::IsIconic(window_.handle()) ? behaviour::WindowState::Minimised
                                        : behaviour::WindowState::Shown;
}

void Win32Face::showWindow() {
    ::ShowWindow(window_.handle(), ::IsIconic(window_.handle()) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(window_.handle());
}

void Win32Face::hideWindow() {
    ::ShowWindow(window_.handle(), SW_HIDE);
}

void Win32Face::minimiseWindow() {
    ::ShowWindow(window_.handle(), SW_MINIMIZE);
}

behaviour::WindowPosition Win32Face::windowPosition() const {
    return positionInTwips(window_.handle());
}

void Win32Face::moveWindow(behaviour::WindowPosition position) {
    moveToTwips(window_.handle(), position);
}

bool Win32Face::isOnAnyScreen(behaviour::WindowPosition position) const {
    return wouldShowOnAMonitor(window_.handle(), position);
}

void Win32Face::moveToPrimaryScreen() {
    centreOnPrimaryMonitor(window_.handle());
}

void Win32Face::openHelp(bool ownedByWindow) {
    helpPage_.open(window_.handle(), ownedByWindow);
}

void Win32Face::closeHelp() {
    helpPage_.close();
}

// ---- Boxes and the file dialog ----------------------------------------------------------

void Win32Face::showMessage(behaviour::BoxKind kind, const std::string& text) {
    boxes_->showMessage(window_.handle(), kind, text);
}

bool Win32Face::askYesNo(const std::string& text) {
    return boxes_->askYesNo(window_.handle(), text);
}

std::optional<std::string> Win32Face::chooseFile(const std::string& title,
                                                 const std::string& folder) {
    return boxes_->chooseFile(window_.handle(), title, folder);
}

void Win32Face::dismissBoxes() {
    boxes_->dismissAll();
}

// ---- The tray icon ----------------------------------------------------------------------

bool Win32Face::addTrayIcon() {
    return tray_.add();
}

void Win32Face::removeTrayIcon() {
    tray_.remove();
}

void Win32Face::notifyFromTray(const std::string& text) {
    tray_.notify(platform::toWide(text));
}

void Win32Face::showSessionStartEntry(const std::string& caption, bool ticked) {
    tray_.setEntry(IDM_StartWithSession, platform::toWide(caption), ticked);
}

// ---- Time and threads -------------------------------------------------------------------

void Win32Face::startTimer(int milliseconds) {
    ::SetTimer(window_.handle(), kAutoSyncTimer, static_cast<UINT>(milliseconds), nullptr);
}

void Win32Face::stopTimer() {
    ::KillTimer(window_.handle(), kAutoSyncTimer);
}

std::string Win32Face::statusDateTime() const {
    wchar_t date[96] = {};
    wchar_t time[96] = {};
    ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 96,
                      nullptr);
    // No flags: the user's time format, which carries the seconds.
    ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, time, 96);
    return platform::toUtf8(date) + " at " + platform::toUtf8(time);
}

void Win32Face::runInBackground(std::function<void()> work) {
    worker_.run(std::move(work));
}

void Win32Face::runOnUiThread(std::function<void()> task) {
    tasks_.post(std::move(task));
}

void Win32Face::endProgram() {
    stopTimer();
    ::PostQuitMessage(0);
}

}  // namespace kelvane::win32
