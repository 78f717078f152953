#include "KelvaneProcess.h"

#include <stdexcept>
#include <thread>

#include "win32/ControlIds.h"

namespace kelvane::testing {
namespace {

struct Search {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    // The settings window may be hidden in the tray; any other counts once it is shown.
    const std::wstring_view name(className);
    if (owner == search->processId && name == search->className &&
        (name == kelvane::win32::kMainWindowClass || ::IsWindowVisible(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::filesystem::path kelvaneExecutable() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path() / L"Kelvane.exe";
}

KelvaneProcess::KelvaneProcess(const std::filesystem::path& folder) {
    const std::filesystem::path program = folder / L"Kelvane.exe";
    if (!std::filesystem::exists(program)) {
        std::filesystem::copy_file(kelvaneExecutable(), program);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process_)) {
        throw std::runtime_error("cannot start Kelvane.exe");
    }
}

KelvaneProcess::~KelvaneProcess() {
    if (running()) {
        ::TerminateProcess(process_.hProcess, 99);
        ::WaitForSingleObject(process_.hProcess, 5000);
    }
    ::CloseHandle(process_.hThread);
    ::CloseHandle(process_.hProcess);
}

HWND KelvaneProcess::window() {
    if (window_ == nullptr) {
        window_ = waitForWindow(kelvane::win32::kMainWindowClass);
        if (window_ == nullptr) {
            throw std::runtime_error("Kelvane's window never appeared");
        }
    }
    return window_;
}

bool KelvaneProcess::waitUntilShown() {
    return waitUntil([&] { return ::IsWindowVisible(window()) != FALSE; });
}

HWND KelvaneProcess::control(int id) {
    return ::GetDlgItem(window(), id);
}

std::wstring KelvaneProcess::text(HWND control) const {
    wchar_t buffer[1024] = {};
    ::SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                          SMTO_ABORTIFHUNG, 5000, nullptr);
    return buffer;
}

void KelvaneProcess::setText(int id, const std::wstring& text) {
    ::SendMessageW(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool KelvaneProcess::ticked(int id) {
    return ::SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// BM_CLICK on a tick box is lost now and then under Wine; setting the state and telling
// the window, as a click does, is not.
void KelvaneProcess::setTicked(int id, bool ticked) {
    ::SendMessageW(control(id), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
    ::PostMessageW(window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(control(id)));
}

void KelvaneProcess::click(int id) {
    ::PostMessageW(window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(control(id)));
}

void KelvaneProcess::post(UINT message, WPARAM wParam, LPARAM lParam) {
    ::PostMessageW(window(), message, wParam, lParam);
}

void KelvaneProcess::settle() {
    // A sent message overtakes posted ones, so post a marker behind them instead: the
    // "Sync Now" button's pushed look, which changes nothing else, and wait for it.
    HWND marker = control(kelvane::win32::IDC_SyncNow);
    ::PostMessageW(marker, BM_SETSTATE, TRUE, 0);
    waitUntil([&] { return (::SendMessageW(marker, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0; });
    ::SendMessageW(marker, BM_SETSTATE, FALSE, 0);
}

HWND KelvaneProcess::findWindow(const wchar_t* className) const {
    Search search{process_.dwProcessId, className, nullptr};
    ::EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND KelvaneProcess::waitForWindow(const wchar_t* className) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findWindow(className)) != nullptr || !running(); });
    return found;
}

std::wstring KelvaneProcess::boxText(HWND box) {
    wchar_t buffer[1024] = {};
    ::GetDlgItemTextW(box, 0xFFFF, buffer, 1024);  // a message box's text is static 0xFFFF
    return buffer;
}

void KelvaneProcess::press(HWND box, int buttonId) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, buttonId)));
}

bool KelvaneProcess::waitForExit(std::chrono::milliseconds limit) {
    return ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) ==
           WAIT_OBJECT_0;
}

DWORD KelvaneProcess::exitCode() const {
    DWORD code = 0;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

bool KelvaneProcess::running() const {
    return ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

}  // namespace kelvane::testing
