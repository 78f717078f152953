#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string_view>

namespace kelvane::win32 {

// The program's one icon in the notification area. Its events come to the owner window
// as `callbackMessage`, in the NOTIFYICON_VERSION_4 form: the event in LOWORD(lParam),
// the anchor point in wParam.
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

  private:
    NOTIFYICONDATAW data_{};
    bool added_ = false;
};

}  // namespace kelvane::win32
