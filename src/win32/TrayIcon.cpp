#include "win32/TrayIcon.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>

namespace kelvane::win32 {
namespace {

constexpr UINT kIconId = 1;
// The name and one blank, as the tip has always read.
constexpr const wchar_t* kTip = L"Kelvane ";

template <std::size_t N>
void copyInto(wchar_t (&field)[N], std::wstring_view text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::wmemcpy(field, text.data(), length);
    field[length] = L'\0';
}

}  // namespace

TrayIcon::TrayIcon(HWND owner, unsigned callbackMessage, HICON icon) {
    data_.cbSize = sizeof data_;
    data_.hWnd = owner;
    data_.uID = kIconId;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data_.uCallbackMessage = callbackMessage;
    data_.hIcon = icon;
    copyInto(data_.szTip, kTip);
}

TrayIcon::~TrayIcon() {
    remove();
    if (menu_ != nullptr) {
        ::DestroyMenu(menu_);
    }
}

bool TrayIcon::add() {
    remove();
    if (!::Shell_NotifyIconW(NIM_ADD, &data_)) {
        return false;
    }
    added_ = true;
    data_.uVersion = NOTIFYICON_VERSION_4;
    ::Shell_NotifyIconW(NIM_SETVERSION, &data_);
    return true;
}

void TrayIcon::remove() {
    if (added_) {
        ::Shell_NotifyIconW(NIM_DELETE, &data_);
        added_ = false;
    }
}

void TrayIcon::notify(std::wstring_view text) {
    if (!added_) {
        return;
    }
    NOTIFYICONDATAW balloon = data_;
    balloon.uFlags = NIF_INFO;
    balloon.dwInfoFlags = NIIF_WARNING;
    copyInto(balloon.szInfoTitle, L"Kelvane");
    copyInto(balloon.szInfo, text);
    ::Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

void TrayIcon::taskbarCreated() {
    if (added_) {
        // A shell that only says it restarted may still hold the icon: take it off first.
        ::Shell_NotifyIconW(NIM_DELETE, &data_);
        added_ = false;
        add();
    }
}

void TrayIcon::setMenu(std::vector<TrayMenuEntry> entries) {
    entries_ = std::move(entries);
}

void TrayIcon::setEntry(int id, std::wstring caption, bool ticked) {
    for (TrayMenuEntry& entry : entries_) {
        if (entry.id == id) {
            entry.caption = std::move(caption);
            entry.ticked = ticked;
        }
    }
}

bool TrayIcon::choose(int id) const {
    for (const TrayMenuEntry& entry : entries_) {
        if (entry.id != 0 && entry.id == id) {
            if (entry.chosen) {
                entry.chosen();
            }
            return true;
        }
    }
    return false;
}

void TrayIcon::eventArrived(WPARAM anchor, LPARAM event) {
    switch (LOWORD(event)) {
        case WM_LBUTTONDOWN:
        case NIN_KEYSELECT:  // Enter or Space on the icon, for keyboard users
            onClicked();
            break;
        case WM_CONTEXTMENU:
            showMenu({GET_X_LPARAM(anchor), GET_Y_LPARAM(anchor)});
            break;
        default:
            break;
    }
}

void TrayIcon::buildMenu() {
    if (menu_ != nullptr) {
        ::DestroyMenu(menu_);
    }
    menu_ = ::CreatePopupMenu();
    for (const TrayMenuEntry& entry : entries_) {
        if (entry.id == 0) {
            ::AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
        } else if (!entry.caption.empty()) {
            ::AppendMenuW(menu_, MF_STRING | (entry.ticked ? MF_CHECKED : MF_UNCHECKED),
                          static_cast<UINT_PTR>(entry.id), entry.caption.c_str());
        }
    }
}

void TrayIcon::showMenu(POINT anchor) {
    if (onMenuOpening) {
        onMenuOpening();
    }
    buildMenu();
    // Without the window in front, the menu would not close when the user clicks
    // elsewhere; the null message afterwards lets the next menu open at once.
    ::SetForegroundWindow(data_.hWnd);
    ::TrackPopupMenuEx(menu_, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, anchor.x, anchor.y, data_.hWnd,
                       nullptr);
    ::PostMessageW(data_.hWnd, WM_NULL, 0, 0);
}

}  // namespace kelvane::win32
