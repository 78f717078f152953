#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "behaviour/Face.h"
#include "behaviour/PassRunner.h"
#include "behaviour/WindowSettings.h"
#include "platform/FileSystem.h"
#include "platform/SessionStart.h"
#include "platform/SettingsStore.h"
#include "settings/SettingsFile.h"
#include "sync/InStepMemory.h"
#include "sync/SyncPass.h"

namespace kelvane::behaviour {

inline constexpr const char* kVersion = "v1.45";
inline constexpr const char* kAskBeforeStopping = "Do you really want to stop Kelvane?";
inline constexpr const char* kSelectFileTitle = "Kelvane Select file";
#ifdef _WIN32
inline constexpr const char* kSessionStartCaption = "Start Kelvane with Windows";
#else
inline constexpr const char* kSessionStartCaption = "Start Kelvane when I log in";
#endif

// "Kelvane  is already running." and, on a second line, "Click system tray icon.".
std::string alreadyRunningMessage();

// Why the window is asked to close; only the user's own close command asks first.
enum class CloseCause { UserCommand, ProgramCode, SessionEnd };

// Where the program is in its life. Closing lasts while shutdown waits, for a bounded
// time, for a copy to stop; once Ended the face has been told to end the program.
enum class Phase { Running, Closing, Ended };

// Kelvane's behaviour, whatever window system shows it: start-up, what every click,
// timer tick and tray event does, and shutdown. It owns the state (auto sync on or off,
// the last finished sync event, whether a pass runs, whether the program is ending) and
// drives a Face. Everything here runs on the user-interface thread; only the pass itself
// runs on a second thread, and its progress and outcome come back through the face.
class Program {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    Program(Face& face, platform::FileSystem& fileSystem, platform::SettingsStore& settingsStore,
            std::string settingsPath);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Start-up: the stored settings or, on a first run, the design values and the help
    // page; auto sync as stored; then the tray icon and the window. `oneInstanceWarning`,
    // when not empty, says why a second copy of the program could not be kept out; it is
    // shown once the window is up.
    void start(const std::string& oneInstanceWarning = {});

    // ---- The user's actions
    void syncNowClicked();
    void autoSyncClicked();
    void browseClicked(int slot);
    void helpClicked();
    void hideToTrayClicked();
    void timerTicked();
    void trayIconClicked();
    void showSettingsChosen();  // tray menu "Show Kelvane Settings"
    void showHelpChosen();      // tray menu "Show Help"
    void exitChosen();          // tray menu "Exit Kelvane"
    // Any close request. The face never closes the window itself: the program ends
    // through Face::endProgram once its settings are saved and any copy is stopped.
    void closeRequested(CloseCause cause);

    bool autoSyncOn() const { return autoSyncOn_; }
    bool passRunning() const { return passes_.running(); }
    // True once shutdown has finished and the face was told to end the program.
    bool ended() const { return phase_ == Phase::Ended; }
    const std::string& lastSyncEvent() const { return lastEvent_; }

    // The clock that decides when a long copy starts showing its progress.
    void setClock(Clock clock) { clock_ = std::move(clock); }

    // ---- Starting with the session
    // Where the program reads and switches whether it starts with the session; set before
    // start(). Without one the tray menu has no entry for it.
    void setSessionStart(platform::SessionStart& sessionStart) { sessionStart_ = &sessionStart; }
    void trayMenuOpening();     // its tick is brought up to date
    void sessionStartChosen();  // tray menu "Start Kelvane when I log in"

    // A copy shows its progress once it has run this long.
    static constexpr std::chrono::milliseconds kProgressDelay{500};
    // How long shutdown waits for a copy to stop. One stuck on a stalled volume (a hung
    // network mount, a stopped FUSE daemon) may never come back from the kernel: the
    // settings are saved before the wait, and the program ends after it all the same.
    static constexpr std::chrono::milliseconds kStopWait{1000};

  private:
    bool settingsFileLoadable();
    void showStoredSettings();
    void showDesignValues();
    void placeWindow(const settings::AppSettings& stored);
    bool startAutoSync();
    void stopAutoSync();
    void runPass(StatusLook startLook);
    void passProgressed(const sync::CopyProgress& progress);
    void passFinished(const sync::SyncOutcome& outcome, const sync::FileSlots& used);
    void recordOutcome(const sync::SyncOutcome& outcome, const sync::FileSlots& used);
    std::string copyDetail(const sync::SyncOutcome& outcome, const sync::FileSlots& used) const;
    std::string retypedTargets(const sync::SyncOutcome& outcome, const sync::FileSlots& used) const;
    void tellTrayAboutPass(const sync::SyncOutcome& outcome);
    void showLastEvent(StatusLook look);
    platform::Status saveSettings();
    void showSaveFailure(const platform::Status& saved);
    void unload(CloseCause cause);
    void waitForTheStop();
    void finishUnload(CloseCause cause);
    bool showSessionStartState();

    Face& face_;
    platform::FileSystem& fileSystem_;
    platform::SettingsStore& settingsStore_;
    std::string settingsPath_;
    Clock clock_;

    bool autoSyncOn_ = false;
    std::string lastEvent_ = "NIL";
    StatusLook look_ = StatusLook::Normal;
    // What the line shows on hovering: a failure's reason, or where a copy went and
    // where what it replaced went.
    std::string statusDetail_;
    // Each ticked slot's state when the files were last in step; kept in the settings file.
    sync::InStepMemory inStep_;
    // Whether copies keep what they replace: the settings file's KeepReplaced, read once.
    bool keepReplaced_ = true;
    WindowSettings controls_;
    std::string lastBrowseFolder_;
    bool trayShown_ = false;
    bool failureToldFromTray_ = false;
    settings::TroubleMemory settingsTroubles_;
    platform::SessionStart* sessionStart_ = nullptr;

    PassRunner passes_;
    std::chrono::steady_clock::time_point passStarted_;
    Phase phase_ = Phase::Running;
    CloseCause closingCause_ = CloseCause::ProgramCode;
    std::chrono::steady_clock::time_point stopAsked_;
};

}  // namespace kelvane::behaviour
