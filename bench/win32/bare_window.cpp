// The baseline for Kelvane.exe's footprint: one empty window of the same size, built with
// the same compiler, flags, static runtime and manifest, and nothing else.
//
// Built a second time with KELVANE_BARE_WITH_CONTROLS, the window also holds the settings
// window's controls, each a plain child window of its class at its designed place in the
// system font: the floor of any native window with those controls, without Kelvane's
// fonts, layout, settings, tray or accessibility annotations.

#include <windows.h>

#include <string_view>

#ifdef KELVANE_BARE_WITH_CONTROLS
#include <commctrl.h>

#include <string>

#include "design/SettingsWindowDesign.h"
#endif

namespace {

#ifdef KELVANE_BARE_WITH_CONTROLS
const wchar_t* classOf(kelvane::design::Kind kind) {
    switch (kind) {
        case kelvane::design::Kind::Label:
        case kelvane::design::Kind::Badge:
            return L"STATIC";
        case kelvane::design::Kind::TextBox:
            return L"EDIT";
        default:
            return L"BUTTON";
    }
}

DWORD styleOf(kelvane::design::Kind kind) {
    switch (kind) {
        case kelvane::design::Kind::Frame:
            return BS_GROUPBOX;
        case kelvane::design::Kind::TickBox:
            return BS_AUTOCHECKBOX;
        case kelvane::design::Kind::Button:
            return BS_PUSHBUTTON;
        default:
            return 0;
    }
}

void addControls(HWND window, HINSTANCE instance) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    for (const kelvane::design::Control& control : kelvane::design::kSettingsControls) {
        kelvane::design::Twips place = control.place;
        if (!control.frame.empty()) {
            place.left += kelvane::design::control(control.frame).place.left;
            place.top += kelvane::design::control(control.frame).place.top;
        }
        const std::wstring caption(control.caption.begin(), control.caption.end());
        ::CreateWindowExW(0, classOf(control.kind), caption.c_str(),
                          WS_CHILD | WS_VISIBLE | styleOf(control.kind), place.left / 15,
                          place.top / 15, place.width / 15, place.height / 15, window, nullptr,
                          instance, nullptr);
    }
}
#endif

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// With "--tick" on the command line a timer ticks every second and does nothing: the
// baseline for an idle program that wakes once a second.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1);
    windowClass.lpszClassName = L"BareWindow";
    ::RegisterClassExW(&windowClass);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT outer{0, 0, 461, 242};  // Kelvane's client area at 96 dots per inch
    ::AdjustWindowRectEx(&outer, style, FALSE, 0);
    HWND window = ::CreateWindowExW(0, L"BareWindow", L"Bare window", style, CW_USEDEFAULT,
                                    CW_USEDEFAULT, outer.right - outer.left,
                                    outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
#ifdef KELVANE_BARE_WITH_CONTROLS
    addControls(window, instance);
#endif
    if (std::wstring_view(commandLine).find(L"--tick") != std::wstring_view::npos) {
        ::SetTimer(window, 1, 1000, nullptr);
    }
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::UpdateWindow(window);
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
