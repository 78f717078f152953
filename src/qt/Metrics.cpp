#include "qt/Metrics.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace kelvane::qt {

double twipsPerPixel(const QWidget* widget) {
    const QScreen* screen = widget != nullptr && widget->screen() != nullptr
                                ? widget->screen()
                                : QGuiApplication::primaryScreen();
    const double dpi = screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips, const QWidget* widget) {
    return static_cast<int>(std::lround(twips / twipsPerPixel(widget)));
}

double toTwips(int pixels, const QWidget* widget) {
    return pixels * twipsPerPixel(widget);
}

QRect twipsRect(int left, int top, int width, int height, const QWidget* widget) {
    return {toPixels(left, widget), toPixels(top, widget), toPixels(width, widget),
            toPixels(height, widget)};
}

namespace {

// Asking the font database for a family it lacks is slow (it resolves aliases through
// fontconfig each time), and the window asks for the same two families over and over.
bool familyInstalled(const QString& family) {
    static QHash<QString, bool> known;
    const auto found = known.constFind(family);
    if (found != known.constEnd()) {
        return *found;
    }
    return *known.insert(family, QFontDatabase::hasFamily(family));
}

}  // namespace

QFont windowFont(const QString& family, double pointSize, bool bold) {
    QFont font = familyInstalled(family) ? QFont(family) : QApplication::font();
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

}  // namespace kelvane::qt
