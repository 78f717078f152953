#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::win32 {

// One entry of the tray menu: a command with its caption and what choosing it does, or
// (with no ID) a separator. A command without a caption is left out until it has one.
struct TrayMenuEntry {
    int id = 0;
    std::wstring caption;
    std::function<void()> chosen;
    bool ticked = false;
};

// The program's one icon in the notification area and its menu. Its events come to the
// owner window as `callbackMessage`, in the NOTIFYICON_VERSION_4 form: the event in
// LOWORD(lParam), the anchor point in wParam; the menu's choices come as WM_COMMAND.
class TrayIcon {
  public:
    TrayIcon(HWND owner, unsigned callbackMessage, HICON icon);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // False when there is no notification area to put it in.
    bool add();
    void remove();
    // A balloon with the text, for what the user must hear while the window is hidden.
    void notify(std::wstring_view text);
    // The taskbar restarted and forgot every icon: put this one back if it was there.
    void taskbarCreated();

    // The menu's entries, top to bottom.
    void setMenu(std::vector<TrayMenuEntry> entries);
    // A new caption and tick for the entry with `id`, shown from the next opening on.
    void setEntry(int id, std::wstring caption, bool ticked);
    // The owner's WM_COMMAND with `id`: false when no entry has it.
    bool choose(int id) const;
    // The icon's event from `callbackMessage`.
    void eventArrived(WPARAM anchor, LPARAM event);

    std::function<void()> onClicked;
    // Just before the menu opens, so its ticks can be brought up to date.
    std::function<void()> onMenuOpening;

  private:
    void buildMenu();
    void showMenu(POINT anchor);

    NOTIFYICONDATAW data_{};
    bool added_ = false;
    std::vector<TrayMenuEntry> entries_;
    HMENU menu_ = nullptr;
};

}  // namespace kelvane::win32
