#pragma once

#include <windows.h>

#include "behaviour/Face.h"

namespace kelvane::win32 {

// Where a top-level window stands, in the twips the settings file keeps: its outer
// corner, from its normal place while it is minimised.
behaviour::WindowPosition positionInTwips(HWND window);
void moveToTwips(HWND window, behaviour::WindowPosition position);
// Whether the window, moved there, would overlap any monitor's work area.
bool wouldShowOnAMonitor(HWND window, behaviour::WindowPosition position);
void centreOnPrimaryMonitor(HWND window);

}  // namespace kelvane::win32
