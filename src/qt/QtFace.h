#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "behaviour/Face.h"
#include "behaviour/Program.h"
#include "qt/HelpPage.h"
#include "qt/SettingsWindow.h"
#include "qt/TrayIcon.h"

namespace kelvane::qt {

class Dialogs;

// Kelvane on Qt Widgets: the settings window, the help page, the tray icon, the boxes,
// the auto-sync timer and the pass's worker thread, each doing what the Program asks and
// passing every click, tick and close request on to it.
class QtFace final : public QObject, public behaviour::Face {
    Q_OBJECT

  public:
    explicit QtFace(Dialogs& dialogs);
    ~QtFace() override;

    // Sends every control's events to the program from now on.
    void connectTo(behaviour::Program& program);

    SettingsWindow& window() { return window_; }
    HelpPage* helpPage() const { return help_; }
    TrayIcon* trayIcon() const { return tray_.get(); }
    QTimer& timer() { return timer_; }
    // True while the pass's thread is still at its work: after a copy that was left stuck
    // at the end of the run, nothing that thread uses may be destroyed.
    bool backgroundWorkRunning() const { return working_; }

    // The clock the status line reads; tests pin it.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

    // ---- behaviour::Face
    void setTitle(const std::string& title) override;
    std::string pathText(int slot) const override;
    void setPathText(int slot, const std::string& text) override;
    behaviour::Tick tickState(int slot) const override;
    void setTickState(int slot, behaviour::Tick tick) override;
    std::string intervalText() const override;
    void setIntervalText(const std::string& text) override;
    void lockSlots(bool locked) override;
    void setAutoSyncBadge(bool on) override;
    void showStatus(const std::string& text, behaviour::StatusLook look,
                    const std::string& detail) override;
    behaviour::WindowState windowState() const override;
    void showWindow() override;
    void hideWindow() override;
    void minimiseWindow() override;
    behaviour::WindowPosition windowPosition() const override;
    void moveWindow(behaviour::WindowPosition position) override;
    bool isOnAnyScreen(behaviour::WindowPosition position) const override;
    void moveToPrimaryScreen() override;
    void openHelp(bool ownedByWindow) override;
    void closeHelp() override;
    void showMessage(behaviour::BoxKind kind, const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> chooseFile(const std::string& title,
                                          const std::string& folder) override;
    void dismissBoxes() override;
    bool addTrayIcon() override;
    void removeTrayIcon() override;
    void notifyFromTray(const std::string& text) override;
    void showSessionStartEntry(const std::string& caption, bool ticked) override;
    void startTimer(int milliseconds) override;
    void stopTimer() override;
    std::string statusDateTime() const override;
    void runInBackground(std::function<void()> work) override;
    void runOnUiThread(std::function<void()> task) override;
    void endProgram() override;

  signals:
    // The program has finished its shutdown: the event loop may end.
    void ended();

  private:
    SlotRow& row(int slot);
    const SlotRow& row(int slot) const;

    Dialogs& dialogs_;
    SettingsWindow window_;
    QPointer<HelpPage> help_;
    std::unique_ptr<TrayIcon> tray_;
    QTimer timer_;
    behaviour::Program* program_ = nullptr;
    std::thread worker_;
    std::atomic<bool> working_{false};
};

}  // namespace kelvane::qt
