#include "ui/AppIcon.h"

#include <QSize>
#include <QString>
#include <array>

// The icon images live in resources/kelvane.qrc, compiled into a static library; a
// static library's resources must be registered by hand, and from the global namespace.
static void registerIconResources() {
    Q_INIT_RESOURCE(kelvane);
}

namespace kelvane::ui {

QIcon applicationIcon() {
    registerIconResources();
    constexpr std::array kSizes{16, 24, 32, 48, 64, 96, 128, 256};
    QIcon icon;
    for (const int size : kSizes) {
        icon.addFile(QStringLiteral(":/icons/kelvane-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace kelvane::ui
