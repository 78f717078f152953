#include "qt/TrayIcon.h"

#include <QMenu>

namespace kelvane::qt {

TrayIcon::TrayIcon(const QIcon& icon, QMenu* menu, QObject* parent) : QObject(parent), icon_(icon) {
    icon_.setToolTip(QStringLiteral("Kelvane "));
    icon_.setContextMenu(menu);
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    emit leftClicked();
                }
            });
}

void TrayIcon::add() {
    icon_.show();
}

void TrayIcon::remove() {
    icon_.hide();
}

bool TrayIcon::trayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::notify(const QString& text) {
    icon_.showMessage(QStringLiteral("Kelvane"), text, QSystemTrayIcon::Warning);
}

}  // namespace kelvane::qt
