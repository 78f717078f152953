#pragma once

#include <QCheckBox>
#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/FileSystem.h"
#include "settings/SettingsFile.h"
#include "sync/SyncPass.h"
#include "ui/Dialogs.h"

namespace kelvane::tray {
class TrayIcon;
}

namespace kelvane::ui {

class HelpForm;

// The interval box. Its five-character limit is for typing only: a text the program puts
// in, such as a stored interval, shows exactly as given, so it is judged as it was stored.
// A longer text may be shortened by the user but not lengthened.
class IntervalBox : public QLineEdit {
  public:
    static constexpr int kTypedLimit = 5;

    IntervalBox(const QString& text, QWidget* parent);
    // Deliberately hides QLineEdit::setText, whose length limit would cut the text.
    void setText(const QString& text);

  private:
    void fitLimitTo(const QString& text);
};

// A tick box that the user only ever ticks or unticks. The greyed state can come from the
// settings file and is shown as such, but a click never leads into it.
class TickBox : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    void nextCheckState() override;
};

// The settings window: the three file slots, the sync and auto-sync controls, the last
// sync event and the way to the tray. Its controls are the live store of the user's
// choices; every pass and every save reads them afresh.
class KelvaneForm : public QWidget {
    Q_OBJECT

  public:
    // Why the window is asked to close; only the user's own close command asks first.
    enum class CloseCause { UserCommand, ProgramCode, SessionEnd };

    KelvaneForm(platform::FileSystem& fileSystem, Dialogs& dialogs, QWidget* parent = nullptr);
    ~KelvaneForm() override;

    // Start-up. Returns false when the program must end now: another instance runs, or
    // the session ended while a start-up message was open (the settings are saved then).
    bool Form_Load(const QString& executablePath,
                   const std::function<bool()>& anotherInstanceRunning);

    // The one sync pass, as the button and the timer run it.
    void SyncSelectedFiles();
    void StartAutoSync();
    void StopAutoSync();
    bool SettingsFileExists();
    void LoadSettingsFromINI();
    platform::Status SaveSettingsToINI();
    void AddTrayIcon();
    void RemoveTrayIcon();

    // Asks the window to close for a cause other than the user's close command.
    void requestClose(CloseCause cause);

    // The clock the status line reads; tests pin it.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

    QString Version;
    QString iniFilePath;
    settings::AppSettings appSettings;

    QFrame* Frame1;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label1;
    TickBox* File1Selected;
    QLineEdit* File1Text;
    QPushButton* Browse1;
    QLabel* Label2;
    TickBox* File2Selected;
    QLineEdit* File2Text;
    QPushButton* Browse2;
    QLabel* Label5;
    TickBox* File3Selected;
    QLineEdit* File3Text;
    QPushButton* Browse3;
    QFrame* Frame3;
    QPushButton* SyncNowCommand;
    QPushButton* AutoSyncCommand;
    QLabel* AutoSyncLabel;
    QLabel* Label3;
    IntervalBox* AutoSyncIntervalText;
    QLabel* Label4;
    QPushButton* HelpCommand;
    QFrame* Frame2;
    QLabel* Label6;
    QLabel* LastSyncLabel;
    QPushButton* HideToTrayCommand;
    QTimer* Timer1;
    QMenu* menuTray;
    QAction* menuShowKelvane;
    QAction* menuShowHelp;
    QAction* menuHideThisPopupMenu;
    QAction* menuExitKelvane;

    QPointer<HelpForm> helpForm;
    tray::TrayIcon* trayIcon() const { return tray_.get(); }

  public slots:
    void SyncNowCommand_Click();
    void Timer1_Timer();
    void AutoSyncCommand_Click();
    void Browse1_Click();
    void Browse2_Click();
    void Browse3_Click();
    void HelpCommand_Click();
    void HideToTrayCommand_Click();
    void menuShowKelvane_Click();
    void menuShowHelp_Click();
    void menuHideThisPopupMenu_Click();
    void menuExitKelvane_Click();
    // A left click on the tray icon: hide a shown, normal window; bring a hidden or
    // minimised one back to normal and to the front, where it was.
    void toggleFromTray();

  signals:
    // Shutdown finished: settings saved, help closed, tray icon removed.
    void unloaded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildFilesFrame();
    void buildSyncFrame();
    void buildLastSyncFrame();
    void buildTrayMenu();
    void setFocusOrder();
    void describeForScreenReaders();
    void connectHandlers();
    void browse(QLineEdit* pathBox);
    void applyOutcome(const sync::SyncOutcome& outcome);
    void setLastSyncLook(bool bold, const QColor& colour);
    void setLastSyncText(const QString& text);
    void fitLastSyncLabel();
    void keepCaptionsClearOfControls();
    void setAutoSyncBadge(const QString& caption, const QColor& background);
    void setLockedSetEnabled(bool enabled);
    void showSaveFailure(const platform::Status& saved);
    void keepOnAScreen();
    bool Form_QueryUnload(CloseCause cause);
    void Form_Unload(CloseCause cause);
    sync::FileSlots readSlots() const;
    QList<QWidget*> lockedSet() const;

    platform::FileSystem& fileSystem_;
    Dialogs& dialogs_;
    std::unique_ptr<tray::TrayIcon> tray_;
    CloseCause closeCause_ = CloseCause::ProgramCode;
    settings::TroubleMemory settingsTroubles_;
    QString lastBrowseFolder_;
    bool passRunning_ = false;
    bool unloaded_ = false;
};

// A tick box as the settings file stores it: 0, 1, or 2 for the greyed state.
int storedTickState(const QCheckBox* tick);

// "3/14/2025 at 9:05:07 PM" in the given locale: its short date with a four-digit year
// and its time with seconds.
QString statusDateTime(const QDateTime& when, const QLocale& locale);

}  // namespace kelvane::ui
