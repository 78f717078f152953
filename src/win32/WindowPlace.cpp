#include "win32/WindowPlace.h"

#include <algorithm>
#include <cmath>

namespace kelvane::win32 {
namespace {

// A stored position in pixels. A number from the file far beyond any screen stays far
// beyond it, within what a window position can hold.
int positionPixels(double twips, unsigned dpi) {
    constexpr double kFarOff = 1 << 24;
    const double pixels = twips * dpi / 1440.0;
    return std::isfinite(pixels) ? static_cast<int>(std::clamp(pixels, -kFarOff, kFarOff)) : 0;
}

}  // namespace

behaviour::WindowPosition positionInTwips(HWND window) {
    RECT outer{};
    if (::IsIconic(window)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        ::GetWindowPlacement(window, &placement);
        outer = placement.rcNormalPosition;
    } else {
        ::GetWindowRect(window, &outer);
    }
    const double twipsPerPixel = 1440.0 / ::GetDpiForWindow(window);
    return {outer.top * twipsPerPixel, outer.left * twipsPerPixel};
}

void moveToTwips(HWND window, behaviour::WindowPosition position) {
    const unsigned dpi = ::GetDpiForWindow(window);
    ::SetWindowPos(window, nullptr, positionPixels(position.left, dpi),
                   positionPixels(position.top, dpi), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Any overlap with a monitor's work area keeps the place the user chose, as on Linux: a
// window partly above the screen still shows enough of itself to be dragged back.
bool wouldShowOnAMonitor(HWND window, behaviour::WindowPosition position) {
    const unsigned dpi = ::GetDpiForWindow(window);
    RECT placed{};
    ::GetWindowRect(window, &placed);
    ::OffsetRect(&placed, positionPixels(position.left, dpi) - placed.left,
                 positionPixels(position.top, dpi) - placed.top);
    struct Search {
        RECT placed;
        bool found;
    } search{placed, false};
    ::EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM parameter) -> BOOL {
            auto* search = reinterpret_cast<Search*>(parameter);
            MONITORINFO info{};
            info.cbSize = sizeof info;
            RECT shown{};
            search->found = ::GetMonitorInfoW(monitor, &info) &&
                            ::IntersectRect(&shown, &search->placed, &info.rcWork);
            return search->found ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void centreOnPrimaryMonitor(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT outer{};
    ::GetWindowRect(window, &outer);
    const RECT& work = monitor.rcWork;
    ::SetWindowPos(window, nullptr,
                   work.left + (work.right - work.left - (outer.right - outer.left)) / 2,
                   work.top + (work.bottom - work.top - (outer.bottom - outer.top)) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kelvane::win32
