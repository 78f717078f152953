#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

namespace kelvane::tray {

// The notification-area icon: its tip, its menu, the left click that shows or hides the
// settings window, and a balloon when a pass fails while the window is hidden.
class TrayIcon : public QObject {
    Q_OBJECT

  public:
    TrayIcon(const QIcon& icon, QMenu* menu, QObject* parent = nullptr);

    void add();
    void remove();
    bool isShown() const { return icon_.isVisible(); }
    QString tip() const { return icon_.toolTip(); }

    // Whether the desktop has a tray to hide into at all.
    static bool trayAvailable();

    // Called after each pass. Tells the user once per run of failures, and only while
    // the window is hidden; the window's own red line covers the shown case.
    void passFinished(bool failed, bool windowVisible, const QString& line);
    int notificationsShown() const { return notificationsShown_; }

  signals:
    void leftClicked();

  private:
    QSystemTrayIcon icon_;
    bool failureReported_ = false;
    int notificationsShown_ = 0;
};

}  // namespace kelvane::tray
