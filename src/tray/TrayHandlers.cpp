// The settings window's tray handlers: hiding, showing and the tray menu.
#include <QApplication>

#include "tray/TrayIcon.h"
#include "ui/KelvaneForm.h"

namespace kelvane::ui {

void KelvaneForm::AddTrayIcon() {
    tray_ = std::make_unique<tray::TrayIcon>(windowIcon(), menuTray);
    connect(tray_.get(), &tray::TrayIcon::leftClicked, this, &KelvaneForm::toggleFromTray);
    tray_->add();
}

void KelvaneForm::RemoveTrayIcon() {
    if (tray_) {
        tray_->remove();
    }
}

void KelvaneForm::toggleFromTray() {
    // Only a window the user can see goes away; a minimised one comes back instead.
    if (isVisible() && !isMinimized()) {
        hide();  // not saved on this path
    } else {
        show();
        setWindowState(windowState() & ~Qt::WindowMinimized);
        raise();
        activateWindow();
    }
}

void KelvaneForm::HideToTrayCommand_Click() {
    showSaveFailure(SaveSettingsToINI());
    // Without a tray the hidden window could never be reached again.
    if (tray::TrayIcon::trayAvailable() && tray_ && tray_->isShown()) {
        hide();
    } else {
        showMinimized();
    }
}

void KelvaneForm::menuShowKelvane_Click() {
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void KelvaneForm::menuHideThisPopupMenu_Click() {
    menuTray->hide();
}

void KelvaneForm::menuExitKelvane_Click() {
    requestClose(CloseCause::ProgramCode);
}

}  // namespace kelvane::ui
