#pragma once

#include <functional>
#include <optional>
#include <string>

#include "sync/Tick.h"

namespace kelvane::behaviour {

// How the last-sync line looks: normal black, bold black, or bold red for a failure.
enum class StatusLook { Normal, Bold, Failure };

// The three kinds of box the program shows: OK only with no icon (refusals), with the
// information icon (another instance), with the warning icon (settings not saved).
enum class BoxKind { Plain, Information, Warning };

enum class WindowState { Hidden, Minimised, Shown };

// The window's outer top-left corner on the screen, in twips, as the settings file
// stores it.
struct WindowPosition {
    double top = 0;
    double left = 0;
};

using sync::Tick;

// What the program needs of a window system: the settings window's controls, its boxes,
// the help page, the tray icon, the timer, the clock and a second thread. A face does
// each of these with a few toolkit calls and decides nothing; every decision is the
// Program's. Slots are numbered 1 to 3, as the user sees them.
class Face {
  public:
    virtual ~Face() = default;

    // ---- The controls
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string pathText(int slot) const = 0;
    virtual void setPathText(int slot, const std::string& text) = 0;
    virtual Tick tickState(int slot) const = 0;
    virtual void setTickState(int slot, Tick tick) = 0;
    virtual std::string intervalText() const = 0;
    virtual void setIntervalText(const std::string& text) = 0;
    // Locks the tick boxes, the path boxes and the interval box while auto sync runs.
    virtual void lockSlots(bool locked) = 0;
    virtual void setAutoSyncBadge(bool on) = 0;
    // The last-sync line; `detail` is what the user sees on hovering (empty for none).
    virtual void showStatus(const std::string& text, StatusLook look,
                            const std::string& detail) = 0;

    // ---- The window and the help page
    virtual WindowState windowState() const = 0;
    // Shows the window in its normal state and brings it to the front.
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
    virtual void minimiseWindow() = 0;
    virtual WindowPosition windowPosition() const = 0;
    virtual void moveWindow(WindowPosition position) = 0;
    virtual bool isOnAnyScreen(WindowPosition position) const = 0;
    virtual void moveToPrimaryScreen() = 0;
    // Opens the help page, or brings the open one forward without loading it again.
    // On a first start it belongs to the window and stays in front of it.
    virtual void openHelp(bool ownedByWindow) = 0;
    virtual void closeHelp() = 0;

    // ---- Boxes and dialogs: modal, titled "Kelvane", above other windows
    virtual void showMessage(BoxKind kind, const std::string& text) = 0;
    // Yes and No, No the default, warning icon. True for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // A file to open, starting in `folder`; nothing when the user cancels.
    virtual std::optional<std::string> chooseFile(const std::string& title,
                                                  const std::string& folder) = 0;
    // Closes every open box and dialog as if cancelled, and every later one at once.
    virtual void dismissBoxes() = 0;

    // ---- The tray icon
    // False when the desktop has no tray to put it in.
    virtual bool addTrayIcon() = 0;
    virtual void removeTrayIcon() = 0;
    virtual void notifyFromTray(const std::string& text) = 0;

    // ---- Starting with the session
    // The tray menu's tick entry after "Show Help": its caption and whether it is ticked.
    // Until this is first called the menu has no such entry.
    virtual void showSessionStartEntry(const std::string& caption, bool ticked) = 0;

    // ---- Time and threads
    virtual void startTimer(int milliseconds) = 0;
    virtual void stopTimer() = 0;
    // Now, as the status line shows it: the user's short date, " at ", the time with
    // seconds.
    virtual std::string statusDateTime() const = 0;
    // Runs `work` off the user-interface thread.
    virtual void runInBackground(std::function<void()> work) = 0;
    // Runs `task` on the user-interface thread, soon; callable from any thread.
    virtual void runOnUiThread(std::function<void()> task) = 0;
    // Ends the program once the current event is handled.
    virtual void endProgram() = 0;
};

}  // namespace kelvane::behaviour
