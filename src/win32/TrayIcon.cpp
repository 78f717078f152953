#include "win32/TrayIcon.h"

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
}

bool TrayIcon::add() {
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

}  // namespace kelvane::win32
