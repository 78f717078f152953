#include "qt/AppIcon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <array>
#include <map>

// The icon images live in resources/kelvane.qrc, compiled into a static library; a
// static library's resources must be registered by hand, and from the global namespace.
static void registerIconResources() {
    Q_INIT_RESOURCE(kelvane);
}

namespace kelvane::qt {
namespace {

constexpr std::array kSizes{16, 24, 32, 48, 64, 96, 128, 256};

// Decodes each drawn size only when something asks for it: a window on one screen and
// the tray need two or three of the eight, and decoding all of them at start-up costs
// more than the rest of the window's icon work.
class DrawnSizesEngine final : public QIconEngine {
  public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int drawn = drawnSizeFor(std::max(size.width(), size.height()));
        QPixmap& image = decoded_[drawn];
        if (image.isNull()) {
            image.load(QStringLiteral(":/icons/kelvane-%1.png").arg(drawn));
        }
        return drawn == size.width() && drawn == size.height()
                   ? image
                   : image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {std::min(side, kSizes.back()), std::min(side, kSizes.back())};
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const int drawn : kSizes) {
            sizes << QSize(drawn, drawn);
        }
        return sizes;
    }

    QIconEngine* clone() const override { return new DrawnSizesEngine(*this); }
    QString key() const override { return QStringLiteral("KelvaneDrawnSizes"); }

  private:
    // The smallest drawn size that covers the request, else the largest.
    static int drawnSizeFor(int side) {
        for (const int drawn : kSizes) {
            if (drawn >= side) {
                return drawn;
            }
        }
        return kSizes.back();
    }

    std::map<int, QPixmap> decoded_;
};

}  // namespace

QIcon applicationIcon() {
    static const QIcon icon = [] {
        registerIconResources();
        return QIcon(new DrawnSizesEngine);
    }();
    return icon;
}

void giveWindowsTheApplicationIcon() {
    static bool given = false;
    if (!given) {
        given = true;
        QApplication::setWindowIcon(applicationIcon());
    }
}

}  // namespace kelvane::qt
