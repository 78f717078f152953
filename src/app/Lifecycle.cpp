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
        // Every stored value is in the controls before a refused interval's message can
        // open: a session that ends while it is open saves them all as they were.
        setLastSyncText(QString::fromStdString(appSettings.LastSyncEvent));
        if (appSettings.AutoSync == "ON") {
            StartAutoSync();
        } else {
            StopAutoSync();
        }
    } else {
        StopAutoSync();
        openHelpWindow(helpForm, this, Version, this);
    }
    if (unloaded_) {
        return false;  // the session ended while a start-up message was open
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
    CloseCause cause = event->spontaneous() ? CloseCause::UserCommand : closeCause_;
    closeCause_ = CloseCause::ProgramCode;
    const bool goAhead = Form_QueryUnload(cause);
    if (unloaded_) {
        event->accept();  // a session end unloaded the window while the question was open
        return;
    }
    // A session end that came while the question was open could not close the window
    // itself (it was closing already); it left its cause here and overrules the answer.
    if (closeCause_ == CloseCause::SessionEnd) {
        cause = CloseCause::SessionEnd;
    } else if (!goAhead) {
        event->ignore();
        return;
    }
    closeCause_ = CloseCause::ProgramCode;
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
