#include "tray/TrayIcon.h"

#include <QMenu>

namespace kelvane::tray {

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

void TrayIcon::passFinished(bool failed, bool windowVisible, const QString& line) {
    if (!failed) {
        failureReported_ = false;
        return;
    }
    if (failureReported_ || windowVisible || !icon_.isVisible()) {
        return;
    }
    failureReported_ = true;
    ++notificationsShown_;
    icon_.showMessage(QStringLiteral("Kelvane"), line, QSystemTrayIcon::Warning);
}

}  // namespace kelvane::tray
