#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "behaviour/Face.h"

namespace kelvane::testing {

// A window system that is only memory: it shows nothing, records what the program did,
// answers boxes and file dialogs from prepared answers, and runs background work only
// when a test says so, so a test can act while a copy is "running".
class FakeFace final : public behaviour::Face {
  public:
    struct Box {
        behaviour::BoxKind kind;
        std::string text;
    };
    struct Status {
        std::string text;
        behaviour::StatusLook look = behaviour::StatusLook::Normal;
        std::string detail;
    };

    // ---- What the program left on screen
    std::string title;
    std::array<std::string, 3> paths;
    std::array<behaviour::Tick, 3> ticks{};
    std::string interval;
    bool slotsLocked = false;
    bool badgeOn = false;
    Status status;
    std::vector<Status> statusHistory;
    behaviour::WindowState state = behaviour::WindowState::Shown;
    behaviour::WindowPosition position;
    bool movedToPrimaryScreen = false;
    int helpOpenings = 0;
    bool helpOwnedByWindow = false;
    bool helpOpen = false;
    std::vector<Box> boxes;
    std::vector<std::string> questions;
    std::vector<std::string> fileDialogFolders;
    bool boxesDismissed = false;
    bool trayIconShown = false;
    std::vector<std::string> trayNotices;
    int timerMilliseconds = 0;                       // 0 when stopped
    std::optional<std::string> sessionEntryCaption;  // nothing while the menu has no entry
    bool sessionEntryTicked = false;
    bool ended = false;

    // ---- What the user will answer, and what the desktop offers
    bool hasTray = true;
    std::deque<bool> yesNoAnswers;                       // an empty queue answers No
    std::deque<std::optional<std::string>> fileAnswers;  // an empty queue cancels
    std::function<void()> duringNextBox;                 // runs while a box is open
    std::function<bool(behaviour::WindowPosition)> onScreen = [](auto) { return true; };
    std::string now = "3/14/2025 at 9:05:07 PM";

    // ---- Driving the threads
    bool backgroundWaiting() const { return !background_.empty(); }
    std::size_t backgroundJobsWaiting() const { return background_.size(); }
    // Runs the waiting background work here and now, then what it sent back.
    void finishBackgroundWork();
    // Runs the waiting background work; what it sends back waits for runUiTasks.
    void runBackgroundWork();
    std::size_t uiTasksWaiting() const { return uiTasks_.size(); }
    // Runs (up to `count` of) what other threads sent to the user-interface thread.
    void runUiTasks(std::size_t count = SIZE_MAX);

    // ---- behaviour::Face
    void setTitle(const std::string& text) override { title = text; }
    std::string pathText(int slot) const override { return paths.at(index(slot)); }
    void setPathText(int slot, const std::string& text) override { paths.at(index(slot)) = text; }
    behaviour::Tick tickState(int slot) const override { return ticks.at(index(slot)); }
    void setTickState(int slot, behaviour::Tick tick) override { ticks.at(index(slot)) = tick; }
    std::string intervalText() const override { return interval; }
    void setIntervalText(const std::string& text) override { interval = text; }
    void lockSlots(bool locked) override { slotsLocked = locked; }
    void setAutoSyncBadge(bool on) override { badgeOn = on; }
    void showStatus(const std::string& text, behaviour::StatusLook look,
                    const std::string& detail) override;
    behaviour::WindowState windowState() const override { return state; }
    void showWindow() override { state = behaviour::WindowState::Shown; }
    void hideWindow() override { state = behaviour::WindowState::Hidden; }
    void minimiseWindow() override { state = behaviour::WindowState::Minimised; }
    behaviour::WindowPosition windowPosition() const override { return position; }
    void moveWindow(behaviour::WindowPosition where) override { position = where; }
    bool isOnAnyScreen(behaviour::WindowPosition where) const override { return onScreen(where); }
    void moveToPrimaryScreen() override { movedToPrimaryScreen = true; }
    void openHelp(bool ownedByWindow) override;
    void closeHelp() override { helpOpen = false; }
    void showMessage(behaviour::BoxKind kind, const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> chooseFile(const std::string& title,
                                          const std::string& folder) override;
    void dismissBoxes() override { boxesDismissed = true; }
    bool addTrayIcon() override { return trayIconShown = hasTray; }
    void removeTrayIcon() override { trayIconShown = false; }
    void notifyFromTray(const std::string& text) override { trayNotices.push_back(text); }
    void showSessionStartEntry(const std::string& caption, bool ticked) override {
        sessionEntryCaption = caption;
        sessionEntryTicked = ticked;
    }
    void startTimer(int milliseconds) override { timerMilliseconds = milliseconds; }
    void stopTimer() override { timerMilliseconds = 0; }
    std::string statusDateTime() const override { return now; }
    void runInBackground(std::function<void()> work) override;
    void runOnUiThread(std::function<void()> task) override;
    void endProgram() override { ended = true; }

  private:
    static std::size_t index(int slot) { return static_cast<std::size_t>(slot - 1); }
    void boxOpened();

    std::deque<std::function<void()>> background_;
    std::deque<std::function<void()>> uiTasks_;
};

}  // namespace kelvane::testing
