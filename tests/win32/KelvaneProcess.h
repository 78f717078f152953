#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace kelvane::testing {

// Kelvane.exe started from a folder of its own and driven as a user would, through its
// windows' messages: control IDs, clicks, boxes and their buttons. A click that opens a
// box is posted, never sent, so the driver does not wait inside the program's modal loop.
class KelvaneProcess {
  public:
    // Copies Kelvane.exe (found beside this test program) into `folder`, unless it is
    // there already, and starts it.
    explicit KelvaneProcess(const std::filesystem::path& folder);
    ~KelvaneProcess();
    KelvaneProcess(const KelvaneProcess&) = delete;
    KelvaneProcess& operator=(const KelvaneProcess&) = delete;

    // The settings window, once it exists (it may still be hidden).
    HWND window();
    // True once start-up is over and the window has been shown.
    bool waitUntilShown();
    HWND control(int id);
    std::wstring text(HWND control) const;
    std::wstring text(int id) { return text(control(id)); }
    void setText(int id, const std::wstring& text);
    bool enabled(int id) { return ::IsWindowEnabled(control(id)) != FALSE; }
    bool ticked(int id);
    void setTicked(int id, bool ticked);
    void click(int id);
    // Posts the window a message, as the system or the tray would.
    void post(UINT message, WPARAM wParam, LPARAM lParam);
    // Waits until every message posted so far has been handled.
    void settle();

    // A top-level window of the program with this class ("#32770" for a box), or null.
    HWND findWindow(const wchar_t* className) const;
    HWND waitForWindow(const wchar_t* className);
    // The open message box: its text and its buttons.
    HWND waitForBox() { return waitForWindow(L"#32770"); }
    static std::wstring boxText(HWND box);
    static void press(HWND box, int buttonId);

    bool waitForExit(std::chrono::milliseconds limit = std::chrono::seconds(10));
    DWORD exitCode() const;
    bool running() const;
    DWORD id() const { return process_.dwProcessId; }

  private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// Checks `done` every few milliseconds, for at most `limit`; true once it holds.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

std::filesystem::path kelvaneExecutable();

}  // namespace kelvane::testing
