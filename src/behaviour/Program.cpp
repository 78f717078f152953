#include "behaviour/Program.h"

#include "behaviour/CopyNotes.h"
#include "sync/AutoSyncInterval.h"

namespace kelvane::behaviour {

namespace {

// The folder of a chosen file, cut at its last separator ("\\" or "/"). Done on the text
// itself: the system's path type would read UTF-8 in the ANSI code page on Windows.
std::string folderOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        return {};
    }
    const bool isRoot = separator == 0 || (separator == 2 && path[1] == ':');
    return path.substr(0, isRoot ? separator + 1 : separator);
}

// The lines that are not empty, one below the other.
std::string linesOf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!line.empty()) {
            text += (text.empty() ? "" : "\n") + line;
        }
    }
    return text;
}

// Why the pass failed, and what became of what copies made before the failure replaced.
std::string failureDetail(const sync::SyncOutcome& outcome) {
    std::vector<std::string> lines = replacedNotes(outcome);
    lines.insert(lines.begin(), outcome.reason);
    return linesOf(lines);
}

}  // namespace

std::string alreadyRunningMessage() {
    return std::string("Kelvane ") + " is already running." + "\r\n" + "Click system tray icon.";
}

Program::Program(Face& face, platform::FileSystem& fileSystem,
                 platform::SettingsStore& settingsStore, std::string settingsPath)
    : face_(face),
      fileSystem_(fileSystem),
      settingsStore_(settingsStore),
      settingsPath_(std::move(settingsPath)),
      clock_([] { return std::chrono::steady_clock::now(); }),
      controls_(face),
      passes_(face, fileSystem) {}

Program::~Program() = default;

// ---- Start-up ---------------------------------------------------------------------------

void Program::start(const std::string& oneInstanceWarning) {
    face_.setTitle(std::string("Kelvane ") + kVersion);
    if (settingsFileLoadable()) {
        showStoredSettings();
    } else {
        showDesignValues();
        stopAutoSync();
        face_.openHelp(true);
    }
    if (phase_ == Phase::Ended) {
        return;  // the session ended while a start-up message was open
    }
    if (sessionStart_ != nullptr) {
        showSessionStartState();  // the tray menu has its entry from the start
    }
    trayShown_ = face_.addTrayIcon();
    face_.showWindow();
    // Said once, with the window up: the program runs, but nothing keeps a second copy out.
    if (!oneInstanceWarning.empty()) {
        face_.showMessage(BoxKind::Warning, oneInstanceWarning);
    }
}

// Something in the settings file's place that is no settings file (a folder, a FIFO, a
// file far too large) is left alone: the program runs as on a first run and says why once.
bool Program::settingsFileLoadable() {
    const settings::SettingsFileCheck check =
        settings::checkSettingsFile(settingsStore_, settingsPath_);
    if (settingsTroubles_.isNews(check.trouble)) {
        face_.showMessage(BoxKind::Warning, "Kelvane cannot use its settings file\n" +
                                                settingsPath_ + "\n\n" + check.trouble.reason() +
                                                "\n\nIt starts with its first-run settings.");
    }
    return check.loadable;
}

void Program::showStoredSettings() {
    const settings::AppSettings stored = settings::loadSettings(settingsStore_, settingsPath_);
    controls_.showStored(stored);
    inStep_.remember(controls_.fileSlots(), stored.SyncState);
    keepReplaced_ = stored.KeepReplaced;
    placeWindow(stored);
    // The line comes before auto sync: a log-out during the interval's message saves it.
    lastEvent_ = stored.LastSyncEvent;
    showLastEvent(StatusLook::Normal);
    if (stored.AutoSync != "ON" || !startAutoSync()) {
        // A refused interval leaves auto sync off everywhere, so the next save stores
        // "OFF" and the next press of "Auto Sync" switches it on.
        stopAutoSync();
    }
}

void Program::showDesignValues() {
    const settings::AppSettings design;
    controls_.showFirstRun(design);
    lastEvent_ = design.LastSyncEvent;
    showLastEvent(StatusLook::Normal);
}

void Program::placeWindow(const settings::AppSettings& stored) {
    const WindowPosition position{stored.FormTop, stored.FormLeft};
    // A monitor that was unplugged must not leave the window where nobody can reach it.
    if (face_.isOnAnyScreen(position)) {
        face_.moveWindow(position);
    } else {
        face_.moveToPrimaryScreen();
    }
}

// ---- Auto sync --------------------------------------------------------------------------

bool Program::startAutoSync() {
    const std::string interval = face_.intervalText();
    const sync::IntervalDecision decision = sync::judgeInterval(interval);
    if (!decision.accepted) {
        face_.showMessage(BoxKind::Plain, decision.message);
        return false;
    }
    face_.startTimer(decision.milliseconds);
    face_.lockSlots(true);
    face_.setAutoSyncBadge(true);
    autoSyncOn_ = true;
    return true;
}

void Program::stopAutoSync() {
    face_.lockSlots(false);
    face_.stopTimer();
    face_.setAutoSyncBadge(false);
    autoSyncOn_ = false;
}

void Program::autoSyncClicked() {
    showLastEvent(StatusLook::Normal);
    if (autoSyncOn_) {
        stopAutoSync();
    } else {
        startAutoSync();
    }
}

// ---- The sync pass ----------------------------------------------------------------------

void Program::syncNowClicked() {
    if (passRunning() || phase_ != Phase::Running) {
        return;  // a pass never starts inside another
    }
    runPass(StatusLook::Normal);
}

void Program::timerTicked() {
    if (phase_ != Phase::Running) {
        // While the program ends, the timer only bounds the wait for a copy to stop. A
        // tick of auto sync already on its way (Windows keeps one posted after the timer
        // is killed) arrives at once and is not the wait's own.
        if (clock_() - stopAsked_ >= kStopWait / 2) {
            finishUnload(closingCause_);
        }
        return;
    }
    if (passRunning()) {
        return;
    }
    // The pass starts in black and keeps the weight of the line it follows.
    runPass(look_ == StatusLook::Normal ? StatusLook::Normal : StatusLook::Bold);
}

// An outcome of equal times would change nothing on a line that shows no news, so the
// pass need not wake the window to say so.
void Program::runPass(StatusLook startLook) {
    showLastEvent(startLook);
    const bool equalChangesNothing =
        look_ == StatusLook::Normal && statusDetail_.empty() && !failureToldFromTray_;
    passStarted_ = clock_();
    const sync::FileSlots slots = controls_.fileSlots();
    passes_.start(
        slots, sync::PassTerms{inStep_.statesFor(slots), keepReplaced_},
        equalChangesNothing ? PassRunner::EqualTimes::Untold : PassRunner::EqualTimes::Told,
        [this](const sync::CopyProgress& progress) { passProgressed(progress); },
        [this](const sync::SyncOutcome& outcome, const sync::FileSlots& used) {
            passFinished(outcome, used);
        });
}

void Program::passProgressed(const sync::CopyProgress& progress) {
    if (phase_ != Phase::Running || clock_() - passStarted_ < kProgressDelay) {
        return;
    }
    face_.showStatus("Copying to File" + std::to_string(progress.targetSlot) + ": " +
                         std::to_string(copiedPercent(progress)) + " %",
                     StatusLook::Normal, {});
}

void Program::passFinished(const sync::SyncOutcome& outcome, const sync::FileSlots& used) {
    if (phase_ == Phase::Ended) {
        return;  // a copy that outlived the wait for its stop; shutdown has finished
    }
    recordOutcome(outcome, used);
    if (phase_ == Phase::Closing) {
        finishUnload(closingCause_);
        return;
    }
    if (outcome.result == sync::SyncResult::Refused) {
        stopAutoSync();  // before the message, so no tick runs while it is open
        face_.showMessage(BoxKind::Plain, outcome.message);
    }
}

// The last finished event and its look; a refusal leaves the line as it was.
void Program::recordOutcome(const sync::SyncOutcome& outcome, const sync::FileSlots& used) {
    if (outcome.inStep) {
        inStep_.remember(used, *outcome.inStep);
    }
    switch (outcome.result) {
        case sync::SyncResult::Copied:
            lastEvent_ = outcome.statusPrefix + face_.statusDateTime();
            look_ = StatusLook::Bold;
            statusDetail_ = copyDetail(outcome, used);
            break;
        case sync::SyncResult::Equal:
            look_ = StatusLook::Normal;
            statusDetail_.clear();
            break;
        case sync::SyncResult::Refused:
        case sync::SyncResult::Cancelled:
            statusDetail_.clear();
            break;
        case sync::SyncResult::Failed:
            lastEvent_ = sync::kSyncFailedLine;
            look_ = StatusLook::Failure;
            statusDetail_ = failureDetail(outcome);
            break;
    }
    face_.showStatus(lastEvent_, look_, statusDetail_);
    tellTrayAboutPass(outcome);
}

// What became of what each copy replaced, and where a copy went.
std::string Program::copyDetail(const sync::SyncOutcome& outcome,
                                const sync::FileSlots& used) const {
    std::vector<std::string> lines = replacedNotes(outcome);
    lines.push_back(retypedTargets(outcome, used));
    return linesOf(lines);
}

// A slot retyped while its copy ran now shows a path the copy never touched, though the
// line names the slot: the hover says where the copy went.
std::string Program::retypedTargets(const sync::SyncOutcome& outcome,
                                    const sync::FileSlots& used) const {
    std::string note;
    for (const int slot : outcome.updatedSlots) {
        const std::string& copiedTo = used.at(static_cast<std::size_t>(slot - 1)).pathText;
        if (controls_.path(slot) != copiedTo) {
            note += (note.empty() ? "" : "\n") + std::string("File") + std::to_string(slot) +
                    " was " + copiedTo + " when it was updated.";
        }
    }
    return note;
}

// An edit lost to a newer one is told at once, shown or hidden. A hidden window cannot
// show its red line, so the tray tells the user, once per run of failures: the next
// success makes the next failure worth telling again. A failure only the user can end
// says why.
void Program::tellTrayAboutPass(const sync::SyncOutcome& outcome) {
    if (const std::string lost = bothChangedNotice(outcome); !lost.empty() && trayShown_) {
        face_.notifyFromTray(lost);
    }
    if (outcome.result != sync::SyncResult::Failed) {
        failureToldFromTray_ = false;
        return;
    }
    if (failureToldFromTray_ || !trayShown_ || face_.windowState() != WindowState::Hidden) {
        return;
    }
    failureToldFromTray_ = true;
    face_.notifyFromTray(outcome.needsTheUser ? lastEvent_ + "\n" + outcome.reason : lastEvent_);
}

void Program::showLastEvent(StatusLook look) {
    look_ = look;
    face_.showStatus(lastEvent_, look_, statusDetail_);
}

// ---- Browse, help, tray -----------------------------------------------------------------

void Program::browseClicked(int slot) {
    const std::optional<std::string> chosen = face_.chooseFile(kSelectFileTitle, lastBrowseFolder_);
    if (!chosen || chosen->empty() || phase_ == Phase::Ended) {
        return;  // Cancel leaves the box alone
    }
    lastBrowseFolder_ = folderOf(*chosen);
    face_.setPathText(slot, *chosen);
}

void Program::helpClicked() {
    face_.openHelp(false);
}

void Program::showHelpChosen() {
    helpClicked();
}

void Program::hideToTrayClicked() {
    showSaveFailure(saveSettings());
    if (phase_ == Phase::Ended) {
        return;
    }
    // Without a tray the hidden window could never be reached again.
    if (trayShown_) {
        face_.hideWindow();
    } else {
        face_.minimiseWindow();
    }
}

void Program::trayIconClicked() {
    if (face_.windowState() == WindowState::Shown) {
        face_.hideWindow();  // not saved on this path
    } else {
        face_.showWindow();
    }
}

void Program::showSettingsChosen() {
    face_.showWindow();
}

void Program::exitChosen() {
    closeRequested(CloseCause::ProgramCode);
}

// ---- Starting with the session ------------------------------------------------------------

// Read afresh each time: the user may have changed it elsewhere meanwhile (in the
// desktop's settings, in Task Manager). A state that cannot be read shows unticked.
bool Program::showSessionStartState() {
    const platform::Result<bool> enabled = sessionStart_->isEnabled();
    const bool ticked = enabled.ok() && enabled.value();
    face_.showSessionStartEntry(kSessionStartCaption, ticked);
    return ticked;
}

void Program::trayMenuOpening() {
    if (sessionStart_ != nullptr && phase_ != Phase::Ended) {
        showSessionStartState();
    }
}

// Switched at once, with no save: the system keeps this state, not the settings file. The
// tick then shows what the system reports, and a change that did not take is told.
void Program::sessionStartChosen() {
    if (sessionStart_ == nullptr || phase_ == Phase::Ended) {
        return;
    }
    const platform::Result<bool> before = sessionStart_->isEnabled();
    const bool switchOn = !(before.ok() && before.value());
    platform::Status changed = switchOn ? sessionStart_->enable() : sessionStart_->disable();
    const bool ticked = showSessionStartState();
    if (changed && ticked != switchOn) {
        const platform::Result<bool> after = sessionStart_->isEnabled();
        changed = platform::Error{after ? std::string("The system still reports it ") +
                                              (ticked ? "on" : "off") + "."
                                        : after.reason()};
    }
    if (!changed) {
        face_.showMessage(BoxKind::Warning,
                          std::string("Kelvane could not switch ") + (switchOn ? "on" : "off") +
                              " \"" + kSessionStartCaption + "\".\n\n" + changed.reason());
    }
}

// ---- Settings ---------------------------------------------------------------------------

platform::Status Program::saveSettings() {
    settings::AppSettings stored = controls_.read();
    stored.AutoSync = autoSyncOn_ ? "ON" : "OFF";
    stored.LastSyncEvent = lastEvent_;  // never the progress of a copy still running
    stored.SyncState = inStep_.statesFor(controls_.fileSlots());
    return settings::saveSettings(settingsStore_, settingsPath_, stored);
}

// The same failure at every "Hide to tray" would only nag: each is told once, until a
// save works again.
void Program::showSaveFailure(const platform::Status& saved) {
    if (!settingsTroubles_.isNews(saved)) {
        return;
    }
    face_.showMessage(BoxKind::Warning, "Kelvane could not save its settings to\n" + settingsPath_ +
                                            "\n\n" + saved.reason());
}

// ---- Shutdown ---------------------------------------------------------------------------

void Program::closeRequested(CloseCause cause) {
    if (phase_ == Phase::Ended) {
        return;
    }
    if (cause == CloseCause::SessionEnd) {
        // Nobody is there to answer: close every box, and let no code wait on one.
        face_.dismissBoxes();
    } else if (phase_ == Phase::Closing) {
        return;  // already on its way out, waiting for the copy to stop
    } else if (cause == CloseCause::UserCommand) {
        if (!face_.askYesNo(kAskBeforeStopping) || phase_ != Phase::Running) {
            return;
        }
    }
    unload(cause);
}

void Program::unload(CloseCause cause) {
    closingCause_ = cause;
    if (phase_ == Phase::Closing) {
        // A session end while waiting for the copy to stop: the wait keeps its end, and
        // no message may wait for an answer once it is over.
        return;
    }
    phase_ = Phase::Closing;
    face_.stopTimer();
    // The copy stops at its next chunk; its temporary file goes and the target keeps its
    // old bytes. Shutdown goes on when the outcome arrives.
    if (passes_.cancel()) {
        waitForTheStop();
        return;
    }
    finishUnload(cause);
}

// A copy on a stalled volume may not reach its next chunk for minutes, and a session
// manager kills what has not ended in a few seconds: the settings are saved now, with
// the last finished event, and the wait has an end. A copy left behind that way leaves
// its temporary file, which the next pass into that folder removes (its writer is gone).
void Program::waitForTheStop() {
    saveSettings();  // told, if it fails, by the save that ends the shutdown
    stopAsked_ = clock_();
    face_.startTimer(static_cast<int>(kStopWait.count()));
}

void Program::finishUnload(CloseCause cause) {
    if (phase_ == Phase::Ended) {
        return;
    }
    phase_ = Phase::Ended;
    face_.stopTimer();
    const platform::Status saved = saveSettings();
    if (cause != CloseCause::SessionEnd) {
        showSaveFailure(saved);  // a session end must not wait on a message
    }
    face_.closeHelp();
    face_.removeTrayIcon();
    face_.endProgram();
}

}  // namespace kelvane::behaviour
