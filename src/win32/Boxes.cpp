#include "win32/Boxes.h"

#include <shobjidl.h>

#include <string_view>

#include "platform/ComPointer.h"
#include "platform/WideText.h"

namespace kelvane::win32 {
namespace {

using platform::windows::ComPointer;

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

void SystemBoxes::showMessage(HWND owner, behaviour::BoxKind kind, const std::string& text) {
    if (dismissing_) {
        return;
    }
    ::MessageBoxW(owner, platform::toWide(text).c_str(), L"Kelvane",
                  MB_OK | MB_SYSTEMMODAL | boxIcon(kind));
}

bool SystemBoxes::askYesNo(HWND owner, const std::string& text) {
    if (dismissing_) {
        return false;
    }
    return ::MessageBoxW(owner, platform::toWide(text).c_str(), L"Kelvane",
                         MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING | MB_SYSTEMMODAL) == IDYES;
}

std::optional<std::string> SystemBoxes::chooseFile(HWND owner, const std::string& title,
                                                   const std::string& folder) {
    ComPointer<IFileOpenDialog> dialog;
    if (dismissing_ ||
        FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFileOpenDialog, dialog.outVoid()))) {
        return std::nullopt;
    }
    dialog->SetTitle(platform::toWide(title).c_str());
    const COMDLG_FILTERSPEC allFiles{L"All Files", L"*.*"};
    dialog->SetFileTypes(1, &allFiles);
    ComPointer<IShellItem> start;
    if (!folder.empty() &&
        SUCCEEDED(::SHCreateItemFromParsingName(platform::toWide(folder).c_str(), nullptr,
                                                IID_IShellItem, start.outVoid()))) {
        dialog->SetFolder(start.get());
    }
    ComPointer<IShellItem> chosen;
    if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(chosen.out()))) {
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

void SystemBoxes::dismissAll() {
    dismissing_ = true;
    ::EnumThreadWindows(::GetCurrentThreadId(), dismissBox, 0);
}

}  // namespace kelvane::win32
