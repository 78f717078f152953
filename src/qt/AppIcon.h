#pragma once

#include <QIcon>

namespace kelvane::qt {

// Kelvane's own icon with all eight images (16 to 256 pixels), so every window, the
// taskbar and the tray pick the image drawn for their size instead of scaling one.
QIcon applicationIcon();

}  // namespace kelvane::qt
