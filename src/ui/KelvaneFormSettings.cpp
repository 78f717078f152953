// The settings window's side of the settings file: controls to record and back.
#include <QDir>
#include <cmath>

#include "settings/SettingsFile.h"
#include "ui/KelvaneForm.h"
#include "ui/Metrics.h"

namespace kelvane::ui {
namespace {

Qt::CheckState checkStateOf(int stored) {
    return stored == 1 ? Qt::Checked : stored == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

void applyStoredState(QCheckBox* tick, int stored) {
    // The greyed state can only come from the file; the box offers it only then.
    tick->setTristate(stored == 2);
    tick->setCheckState(checkStateOf(stored));
}

}  // namespace

int storedTickState(const QCheckBox* tick) {
    return tick->checkState() == Qt::Checked            ? 1
           : tick->checkState() == Qt::PartiallyChecked ? 2
                                                        : 0;
}

// Something in the settings file's place that is no settings file (a folder, a FIFO, a
// file far too large) is left alone: the program runs as on a first run and says why once.
bool KelvaneForm::SettingsFileExists() {
    const auto check = settings::checkSettingsFile(fileSystem_, iniFilePath.toStdString());
    if (settingsTroubles_.isNews(check.trouble)) {
        dialogs_.warning(this, QStringLiteral("Kelvane cannot use its settings file\n%1\n\n%2\n\n"
                                              "It starts with its first-run settings.")
                                   .arg(QDir::toNativeSeparators(iniFilePath),
                                        QString::fromStdString(check.trouble.reason())));
    }
    return check.loadable;
}

void KelvaneForm::LoadSettingsFromINI() {
    appSettings = settings::LoadSettingsFromINI(fileSystem_, iniFilePath.toStdString());
    applyStoredState(File1Selected, appSettings.File1_Selected);
    applyStoredState(File2Selected, appSettings.File2_Selected);
    applyStoredState(File3Selected, appSettings.File3_Selected);
    const QPoint position(toPixels(appSettings.FormLeft, this),
                          toPixels(appSettings.FormTop, this));
    move(position);
}

platform::Status KelvaneForm::SaveSettingsToINI() {
    appSettings.File1 = File1Text->text().toStdString();
    appSettings.File2 = File2Text->text().toStdString();
    appSettings.File3 = File3Text->text().toStdString();
    appSettings.SyncInterval = AutoSyncIntervalText->text().toStdString();
    settings::AppSettings stored = appSettings;
    stored.File1_Selected = storedTickState(File1Selected);
    stored.File2_Selected = storedTickState(File2Selected);
    stored.File3_Selected = storedTickState(File3Selected);
    stored.LastSyncEvent = LastSyncLabel->text().toStdString();
    stored.FormTop = std::round(toTwips(pos().y(), this));
    stored.FormLeft = std::round(toTwips(pos().x(), this));
    return settings::SaveSettingsToINI(fileSystem_, iniFilePath.toStdString(), stored);
}

}  // namespace kelvane::ui
