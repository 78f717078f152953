#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

namespace kelvane::qt {

// The notification-area icon: its tip, its menu, its left click, and a balloon.
class TrayIcon : public QObject {
    Q_OBJECT

  public:
    TrayIcon(const QIcon& icon, QMenu* menu, QObject* parent = nullptr);

    void add();
    void remove();
    bool isShown() const { return icon_.isVisible(); }

    // Whether the desktop has a tray to hide into at all.
    static bool trayAvailable();

    void notify(const QString& text);

  signals:
    void leftClicked();

  private:
    QSystemTrayIcon icon_;
};

}  // namespace kelvane::qt
