#pragma once

#include <windows.h>

#include "win32/Control.h"

namespace kelvane::win32 {

// What every top-level window of the program shares: its class, the thunk that finds the
// C++ object behind the HWND (set in WM_NCCREATE), and the outer size its twips client
// area needs at a DPI. Each window handles only its own messages.
class Window {
  public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND handle() const { return window_; }

  protected:
    struct Design {
        const wchar_t* className;
        const wchar_t* title;
        DWORD style;
        int clientWidth;  // twips
        int clientHeight;
    };

    explicit Window(const Design& design) : design_(design) {}
    // The window is gone by now; a derived window destroys its own while it can still
    // answer.
    virtual ~Window() { destroy(); }

    // Registers the class (once; later calls change nothing) and makes the window, which
    // is left hidden.
    void create(HICON icon, HICON smallIcon, POINT corner, SIZE size, HWND owner);
    void destroy();
    // The outer size at the DPI, `extraWidth` pixels wider than designed.
    SIZE outerSize(unsigned dpi, int extraWidth = 0) const;
    unsigned dpi() const { return ::GetDpiForWindow(window_); }
    // WM_DPICHANGED: the window takes the place the system suggests, at its designed size
    // for the new DPI, which it returns for the new layout.
    unsigned followDpiChange(WPARAM wParam, LPARAM lParam);
    LRESULT passOn(UINT message, WPARAM wParam, LPARAM lParam) const {
        return ::DefWindowProcW(window_, message, wParam, lParam);
    }

    virtual LRESULT answer(UINT message, WPARAM wParam, LPARAM lParam) = 0;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Design design_;
    HWND window_ = nullptr;
};

}  // namespace kelvane::win32

namespace kelvane::win32 {

// The program's icon at a size; shared, so the system keeps it for the whole run.
inline HICON programIcon(int size) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1),
                                           IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace kelvane::win32
