// Start-up from a settings file or a first run, and every way the program ends.
#include "ProgramFixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kelvane::testing {
namespace {

using behaviour::BoxKind;
using behaviour::CloseCause;
using behaviour::Tick;
using behaviour::WindowState;

std::string storedFile(const std::string& autoSync, const std::string& interval) {
    return "[FilePathAndFileNames]\r\nFile1=/data/a/notes.txt\r\nFile2=/data/b/notes.txt\r\n"
           "File3=\r\n[SelectedFiles]\r\nFile1_Selected=1\r\nFile2_Selected=0\r\n"
           "File3_Selected=1.5\r\n[SyncSettings]\r\nSyncInterval=" +
           interval + "\r\nAutoSync=" + autoSync +
           "\r\n[SyncEvents]\r\nLastSyncEvent=File2 updated 3/14/2025 at 9:05:07 PM\r\n"
           "[FormLocation]\r\nFormTop=1500\r\nFormLeft=3000\r\n";
}

using StartUp = ProgramFixture;

TEST_F(StartUp, FirstRunShowsTheDesignValuesAndTheHelpPageAndWritesNothing) {
    start();

    const settings::AppSettings design;
    EXPECT_EQ(face.title, "Kelvane v1.45");
    EXPECT_EQ(face.paths[0], design.File1);
    EXPECT_EQ(face.paths[1], design.File2);
    EXPECT_EQ(face.paths[2], "");
    EXPECT_EQ(face.ticks, (std::array<Tick, 3>{Tick::On, Tick::On, Tick::Off}));
    EXPECT_EQ(face.interval, "10");
    EXPECT_FALSE(face.badgeOn);
    EXPECT_EQ(face.status.text, "NIL");
    EXPECT_EQ(face.helpOpenings, 1);
    EXPECT_TRUE(face.helpOwnedByWindow);
    EXPECT_TRUE(face.trayIconShown);
    EXPECT_FALSE(std::filesystem::exists(ini()));
}

TEST_F(StartUp, StoredSettingsComeBack) {
    writeFile(ini(), storedFile("OFF", "25"));
    start();

    EXPECT_EQ(face.paths[0], "/data/a/notes.txt");
    EXPECT_EQ(face.ticks, (std::array<Tick, 3>{Tick::On, Tick::Off, Tick::Greyed}));
    EXPECT_EQ(face.interval, "25");
    EXPECT_EQ(face.status.text, "File2 updated 3/14/2025 at 9:05:07 PM");
    EXPECT_EQ(face.status.look, behaviour::StatusLook::Normal);
    EXPECT_EQ(face.position.top, 1500);
    EXPECT_EQ(face.position.left, 3000);
    EXPECT_EQ(face.helpOpenings, 0);
    EXPECT_EQ(face.timerMilliseconds, 0);
}

TEST_F(StartUp, StoredAutoSyncOnStartsTheTimerAndLocksTheSlots) {
    writeFile(ini(), storedFile("ON", "30"));
    start();

    EXPECT_EQ(face.timerMilliseconds, 30'000);
    EXPECT_TRUE(face.slotsLocked);
    EXPECT_TRUE(face.badgeOn);
    EXPECT_TRUE(face.boxes.empty());
}

TEST_F(StartUp, StoredIntervalIsJudgedExactlyAsStored) {
    writeFile(ini(), storedFile("ON", "000001"));
    start();

    EXPECT_EQ(face.interval, "000001");
    EXPECT_EQ(face.timerMilliseconds, 1000);
    EXPECT_TRUE(face.boxes.empty());
}

TEST_F(StartUp, RefusedStoredIntervalLeavesAutoSyncOffEverywhere) {
    writeFile(ini(), storedFile("ON", "75"));
    start();

    ASSERT_EQ(face.boxes.size(), 1U);
    EXPECT_EQ(face.boxes[0].text, "Max Sync Interval is 60 seconds");
    EXPECT_FALSE(face.badgeOn);
    EXPECT_FALSE(program->autoSyncOn());
    EXPECT_EQ(face.timerMilliseconds, 0);

    program->hideToTrayClicked();
    EXPECT_TRUE(savedHas("AutoSync=OFF"));
    EXPECT_TRUE(savedHas("SyncInterval=75"));

    face.interval = "20";
    program->autoSyncClicked();
    EXPECT_TRUE(program->autoSyncOn());
    EXPECT_EQ(face.timerMilliseconds, 20'000);
}

TEST_F(StartUp, OnlyUpperCaseOnSwitchesAutoSyncOn) {
    writeFile(ini(), storedFile("on", "30"));
    start();

    EXPECT_EQ(face.timerMilliseconds, 0);
    program->hideToTrayClicked();
    EXPECT_TRUE(savedHas("AutoSync=OFF"));
}

TEST_F(StartUp, PositionOffEveryScreenOpensOnThePrimaryScreen) {
    writeFile(ini(), storedFile("OFF", "10"));
    face.onScreen = [](behaviour::WindowPosition) { return false; };
    start();

    EXPECT_TRUE(face.movedToPrimaryScreen);
    EXPECT_EQ(face.position.left, 0);
}

TEST_F(StartUp, OneInstanceWarningIsShownOnceAndTheProgramRuns) {
    start("Another copy of Kelvane could be started: /run is read-only.");

    ASSERT_EQ(face.boxes.size(), 1U);
    EXPECT_EQ(face.boxes[0].kind, BoxKind::Warning);
    EXPECT_TRUE(face.trayIconShown);
}

TEST_F(StartUp, SessionEndDuringAStartUpBoxSavesAndEnds) {
    writeFile(ini(), storedFile("ON", "abc"));
    face.duringNextBox = [this] { program->closeRequested(CloseCause::SessionEnd); };
    start();

    EXPECT_TRUE(face.ended);
    EXPECT_TRUE(program->ended());
    EXPECT_TRUE(face.boxesDismissed);
    EXPECT_FALSE(face.trayIconShown);
    EXPECT_TRUE(savedHas("File1=/data/a/notes.txt"));
    EXPECT_TRUE(savedHas("LastSyncEvent=File2 updated 3/14/2025 at 9:05:07 PM"));
}

#ifndef _WIN32
// Told once at start-up; never read or written, so nothing blocks on it; and not told
// again at every "Hide to tray".
TEST_F(StartUp, FifoInPlaceOfTheSettingsFileIsToldOncePerRun) {
    ASSERT_EQ(::mkfifo(ini().c_str(), 0600), 0);
    start();

    ASSERT_EQ(face.boxes.size(), 1U);
    EXPECT_EQ(face.boxes[0].kind, BoxKind::Warning);
    EXPECT_NE(face.boxes[0].text.find(ini()), std::string::npos);
    EXPECT_NE(face.boxes[0].text.find("not an ordinary file"), std::string::npos);
    EXPECT_EQ(face.helpOpenings, 1);
    program->hideToTrayClicked();
    program->hideToTrayClicked();
    EXPECT_EQ(face.boxes.size(), 1U);
    EXPECT_TRUE(std::filesystem::is_fifo(ini()));
}
#endif

TEST(AlreadyRunning, MessageHasTwoBlanksAndTwoLines) {
    EXPECT_EQ(behaviour::alreadyRunningMessage(),
              "Kelvane  is already running.\r\nClick system tray icon.");
}

using Shutdown = ProgramFixture;

TEST_F(Shutdown, CloseBoxAsksAndNoKeepsEverything) {
    start();
    face.yesNoAnswers = {false};

    program->closeRequested(CloseCause::UserCommand);

    EXPECT_EQ(face.questions, std::vector<std::string>{"Do you really want to stop Kelvane?"});
    EXPECT_FALSE(face.ended);
    EXPECT_TRUE(face.trayIconShown);
    EXPECT_FALSE(std::filesystem::exists(ini()));
}

TEST_F(Shutdown, CloseBoxYesSavesClosesHelpAndRemovesTheIcon) {
    start();
    face.yesNoAnswers = {true};

    program->closeRequested(CloseCause::UserCommand);

    EXPECT_TRUE(face.ended);
    EXPECT_TRUE(savedHas("LastSyncEvent=NIL"));
    EXPECT_FALSE(face.helpOpen);
    EXPECT_FALSE(face.trayIconShown);
}

TEST_F(Shutdown, ExitFromTheTrayMenuAsksNothing) {
    start();

    program->exitChosen();

    EXPECT_TRUE(face.questions.empty());
    EXPECT_TRUE(face.ended);
    EXPECT_TRUE(savedHas("AutoSync=OFF"));
}

TEST_F(Shutdown, SessionEndWhileTheQuestionIsOpenSavesAndEnds) {
    start();
    face.yesNoAnswers = {false};
    face.duringNextBox = [this] { program->closeRequested(CloseCause::SessionEnd); };

    program->closeRequested(CloseCause::UserCommand);

    EXPECT_TRUE(face.ended);
    EXPECT_TRUE(face.boxesDismissed);
    EXPECT_TRUE(savedHas("LastSyncEvent=NIL"));
}

TEST_F(Shutdown, SessionEndSavesWithoutWaitingOnAMessage) {
    program = std::make_unique<behaviour::Program>(face, fileSystem, *settingsStore,
                                                   folder.file("no-such-folder/Kelvane.ini"));
    program->start();

    program->closeRequested(CloseCause::SessionEnd);

    EXPECT_TRUE(face.ended);
    EXPECT_TRUE(face.questions.empty());
    EXPECT_TRUE(face.boxes.empty());
}

TEST_F(Shutdown, FailedSaveIsShownWithTheFileAndReasonOnceInARow) {
    program = std::make_unique<behaviour::Program>(face, fileSystem, *settingsStore,
                                                   folder.file("no-such-folder/Kelvane.ini"));
    program->start();

    program->hideToTrayClicked();
    face.showWindow();
    program->hideToTrayClicked();

    ASSERT_EQ(face.boxes.size(), 1U);
    EXPECT_EQ(face.boxes[0].kind, BoxKind::Warning);
    EXPECT_NE(face.boxes[0].text.find("no-such-folder"), std::string::npos);
}

TEST_F(Shutdown, ExitDuringACopyStopsItLeavesTheTargetAndSaves) {
    startWithSlotsOnFiles();
    put(1, std::string(1 << 20, 'n'), kNew);
    put(2, "old", kOld);
    program->syncNowClicked();
    ASSERT_TRUE(face.backgroundWaiting());

    program->exitChosen();
    EXPECT_FALSE(face.ended);  // waits for the copy to stop
    face.finishBackgroundWork();

    EXPECT_TRUE(face.ended);
    EXPECT_TRUE(contentOf(2) == "old");
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(modifiedSinceEpoch(file(2))).count(),
              kOld);
    EXPECT_EQ(folder.entries("b"), std::vector<std::string>{"notes.txt"});
    EXPECT_TRUE(savedHas("LastSyncEvent=NIL"));
}

// A copy stuck on a stalled volume (a hung network mount, a stopped FUSE daemon) never
// answers its stop: the settings are saved at once, with the last finished event, and
// the program ends after a bounded wait instead of waiting for the copy.
TEST_F(Shutdown, SessionEndDuringAStuckCopySavesFirstAndEndsAfterABoundedWait) {
    startWithSlotsOnFiles();
    auto now = std::chrono::steady_clock::now();
    program->setClock([&now] { return now; });
    put(1, "new", kNew);
    put(2, "old", kOld);
    syncNow();
    put(1, std::string(1 << 20, 'n'), kNew + 60);
    program->syncNowClicked();
    ASSERT_TRUE(face.backgroundWaiting());

    program->closeRequested(CloseCause::SessionEnd);

    EXPECT_TRUE(savedHas("File2=" + file(2)));
    EXPECT_TRUE(savedHas("LastSyncEvent=File2 updated 3/14/2025 at 9:05:07 PM"));
    EXPECT_FALSE(face.ended);
    program->timerTicked();  // a tick of auto sync already on its way is no end of the wait
    program->closeRequested(CloseCause::SessionEnd);  // nor is a second signal
    EXPECT_FALSE(face.ended);
    now += behaviour::Program::kStopWait;
    program->timerTicked();
    EXPECT_TRUE(face.ended);
    EXPECT_FALSE(face.trayIconShown);
    EXPECT_EQ(face.timerMilliseconds, 0);

    face.finishBackgroundWork();  // the copy comes back long after: nothing more happens
    EXPECT_EQ(contentOf(2), "new");
    EXPECT_TRUE(savedHas("LastSyncEvent=File2 updated 3/14/2025 at 9:05:07 PM"));
}

}  // namespace
}  // namespace kelvane::testing
