#pragma once

#include <QIcon>

namespace kelvane::qt {

// Kelvane's own icon with all eight images (16 to 256 pixels), so every window, the
// taskbar and the tray pick the image drawn for their size instead of scaling one.
QIcon applicationIcon();

// Makes the icon every window's, once. Not at start-up: handing an X11 window manager
// every size means decoding all eight images before the window can first be drawn, so
// the settings window asks for it right after its first paint, and a box shown before
// that asks first.
void giveWindowsTheApplicationIcon();

}  // namespace kelvane::qt
