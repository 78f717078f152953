#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string_view>

#include "behaviour/Face.h"
#include "behaviour/Program.h"
#include "win32/Boxes.h"
#include "win32/HelpPage.h"
#include "win32/SettingsWindow.h"
#include "win32/TrayIcon.h"
#include "win32/UiTaskQueue.h"
#include "win32/Worker.h"

namespace kelvane::win32 {

// The Windows face: the settings window, the help page, the boxes, the tray icon, the
// timer and the worker thread behind the behaviour's Face. It decides nothing: every
// click, tick, tray event and close request goes to the Program.
class Win32Face final : public behaviour::Face {
  public:
    explicit Win32Face(std::unique_ptr<Boxes> boxes = std::make_unique<SystemBoxes>());
    ~Win32Face() override;
    Win32Face(const Win32Face&) = delete;
    Win32Face& operator=(const Win32Face&) = delete;

    // Wires every control, the tray icon and the window's messages to the program.
    void attach(behaviour::Program& program);
    // After start-up: the window appears in its normal state.
    void showAtStart();
    // Runs until the program ends; the exit code.
    int runMessageLoop();
    // Waits for the worker thread, so nothing outlives the Program.
    void finishWork();
    // True while the pass's thread is still at its work, as a copy stuck on a stalled
    // volume may be when the program ends.
    bool workStillRunning() const { return worker_.busy(); }

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

  private:
    void connectWindow();
    void connectTray();
    std::function<void()> trayAction(std::string_view name);
    void answerSessionEnd();

    behaviour::Program* program_ = nullptr;
    // Declared first, so it goes last: everything below points into it.
    SettingsWindow window_;
    HelpPage helpPage_;
    TrayIcon tray_;
    std::unique_ptr<Boxes> boxes_;
    UiTaskQueue tasks_;
    Worker worker_;
};

}  // namespace kelvane::win32
