#include "win32/Window.h"

namespace kelvane::win32 {

void Window::create(HICON icon, HICON smallIcon, POINT corner, SIZE size, HWND owner) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hIcon = icon;
    windowClass.hIconSm = smallIcon;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1);
    windowClass.lpszClassName = design_.className;
    ::RegisterClassExW(&windowClass);
    ::CreateWindowExW(0, design_.className, design_.title, design_.style, corner.x, corner.y,
                      size.cx, size.cy, owner, nullptr, ::GetModuleHandleW(nullptr), this);
}

void Window::destroy() {
    // Cleared first: the messages of its end go to the default procedure.
    HWND closing = window_;
    window_ = nullptr;
    if (closing != nullptr) {
        ::DestroyWindow(closing);
    }
}

SIZE Window::outerSize(unsigned dpi, int extraWidth) const {
    RECT rect{0, 0, toPixels(design_.clientWidth, dpi) + extraWidth,
              toPixels(design_.clientHeight, dpi)};
    ::AdjustWindowRectExForDpi(&rect, design_.style, FALSE, 0, dpi);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

unsigned Window::followDpiChange(WPARAM wParam, LPARAM lParam) {
    const unsigned dpi = LOWORD(wParam);
    const SIZE size = outerSize(dpi);
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    return dpi;
}

LRESULT CALLBACK Window::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created =
            static_cast<Window*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ != window) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    return self->answer(message, wParam, lParam);
}

}  // namespace kelvane::win32
