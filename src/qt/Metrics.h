#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

namespace kelvane::qt {

// Window geometry is laid out in twips (1/1440 inch): 15 twips make one pixel at 96
// dots per inch, and the screen's logical DPI scales that so the window reads the same
// at any setting.
double twipsPerPixel(const QWidget* widget = nullptr);
int toPixels(double twips, const QWidget* widget = nullptr);
double toTwips(int pixels, const QWidget* widget = nullptr);
QRect twipsRect(int left, int top, int width, int height, const QWidget* widget = nullptr);

// The named family where it is installed, else the platform's user-interface font, at
// the given point size, so no caption is cut off for want of a font.
QFont windowFont(const QString& family, double pointSize, bool bold = false);

inline constexpr const char* kDefaultFamily = "MS Sans Serif";
inline constexpr double kDefaultPointSize = 8.25;

}  // namespace kelvane::qt
