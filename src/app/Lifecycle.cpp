// Start-up and shutdown of the settings window.
#include <QCloseEvent>
#include <QDir>

#include "settings/SettingsFile.h"
#include "tray/TrayIcon.h"
#include "ui/HelpForm.h"
#include "ui/KelvaneForm.h"

namespace kelvane::ui {

bool KelvaneForm::Form_Load(const QString& executablePath,
                            const std::function<bool()>& anotherInstanceRunning) {
    Version = QStringLiteral("v1.45");
    setWindowTitle(QStringLiteral("Kelvane ") + Version);
    iniFilePath = QString::fromStdString(settings::settingsFilePathFor(
        fileSystem_, QDir::toNativeSeparators(executablePath).toStdString(),
        QDir::separator().toLatin1()));
    if (anotherInstanceRunning()) {
        dialogs_.information(
            nullptr, QStringLiteral("Kelvane ") + QStringLiteral(" is already running.") +
                         QStringLiteral("\r\n") + QStringLiteral("Click system tray icon."));
        return false;
    }
    if (SettingsFileExists()) {
        LoadSettingsFromINI();
        File1Text->setText(QString::fromStdString(appSettings.File1));
        File2Text->setText(QString::fromStdString(appSettings.File2));
        File3Text->setText(QString::fromStdString(appSettings.File3));
        AutoSyncIntervalText->setText(QString::fromStdString(appSettings.SyncInterval));
        if (appSettings.AutoSync == "ON") {
            StartAutoSync();
        } else {
            StopAutoSync();
        }
        setLastSyncText(QString::fromStdString(appSettings.LastSyncEvent));
    } else {
        StopAutoSync();
        openHelpWindow(helpForm, this, Version, this);
    }
    AddTrayIcon();
    return true;
}

void KelvaneForm::requestClose(CloseCause cause) {
    closeCause_ = cause;
    close();
}

void KelvaneForm::closeEvent(QCloseEvent* event) {
    if (unloaded_) {
        event->accept();
        return;
    }
    // The close box, the system menu and Alt+F4 arrive from the window system.
    const CloseCause cause = event->spontaneous() ? CloseCause::UserCommand : closeCause_;
    closeCause_ = CloseCause::ProgramCode;
    if (!Form_QueryUnload(cause)) {
        event->ignore();
        return;
    }
    Form_Unload(cause);
    event->accept();
}

bool KelvaneForm::Form_QueryUnload(CloseCause cause) {
    if (cause != CloseCause::UserCommand) {
        return true;
    }
    return dialogs_.askYesNo(this, QStringLiteral("Do you really want to stop Kelvane?"));
}

void KelvaneForm::Form_Unload(CloseCause cause) {
    const platform::Status saved = SaveSettingsToINI();
    if (cause != CloseCause::SessionEnd) {
        showSaveFailure(saved);  // a session end must not wait on a message
    }
    if (helpForm) {
        helpForm->close();
        delete helpForm;
    }
    RemoveTrayIcon();
    Timer1->stop();
    unloaded_ = true;
    emit unloaded();
}

// Told once: a read-only settings file would otherwise be reported at every save.
void KelvaneForm::showSaveFailure(const platform::Status& saved) {
    if (!settingsTroubles_.isNews(saved)) {
        return;
    }
    dialogs_.warning(this, QStringLiteral("Kelvane could not save its settings to\n%1\n\n%2")
                               .arg(QDir::toNativeSeparators(iniFilePath),
                                    QString::fromStdString(saved.reason())));
}

}  // namespace kelvane::ui
