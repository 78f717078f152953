// "Sync Now", the timer and "Auto Sync": what each does to the files and to the window.
#include "ProgramFixture.h"

namespace kelvane::testing {
namespace {

using behaviour::BoxKind;
using behaviour::StatusLook;

using SyncActions = ProgramFixture;

TEST_F(SyncActions, SyncNowCopiesAndShowsTheStatusInBold) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);

    syncNow();

    EXPECT_EQ(contentOf(2), "new");
    EXPECT_EQ(face.status.text, "File2 updated 3/14/2025 at 9:05:07 PM");
    EXPECT_EQ(face.status.look, StatusLook::Bold);
    EXPECT_TRUE(face.boxes.empty());
}

TEST_F(SyncActions, EqualTimesKeepTheTextInNormalWeight) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    syncNow();

    syncNow();

    EXPECT_EQ(face.status.text, "File2 updated 3/14/2025 at 9:05:07 PM");
    EXPECT_EQ(face.status.look, StatusLook::Normal);
}

TEST_F(SyncActions, RefusalSwitchesAutoSyncOffBeforeItsMessage) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    program->autoSyncClicked();
    bool timerRanDuringMessage = true;
    face.duringNextBox = [&] { timerRanDuringMessage = face.timerMilliseconds != 0; };

    syncNow();

    ASSERT_EQ(face.boxes.size(), 1U);
    EXPECT_EQ(face.boxes[0].text,
              "File2 not found\r\n\r\nCheck file path and name or unselect file.");
    EXPECT_EQ(face.boxes[0].kind, BoxKind::Plain);
    EXPECT_FALSE(timerRanDuringMessage);
    EXPECT_FALSE(face.badgeOn);
    EXPECT_FALSE(face.slotsLocked);
}

TEST_F(SyncActions, FailedPassShowsTheRedLineAndKeepsAutoSync) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    program->autoSyncClicked();
    fileSystem.unsearchable.insert(file(2));

    tick();

    EXPECT_EQ(face.status.text, "Sync failed. File(s) might be open in other app.");
    EXPECT_EQ(face.status.look, StatusLook::Failure);
    EXPECT_FALSE(face.status.detail.empty());
    EXPECT_TRUE(face.boxes.empty());
    EXPECT_NE(face.timerMilliseconds, 0);
    EXPECT_EQ(contentOf(2), "old");

    fileSystem.unsearchable.clear();
    put(2, "old", kNew);  // equal times now
    tick();
    EXPECT_EQ(face.status.text, "Sync failed. File(s) might be open in other app.");
    EXPECT_EQ(face.status.look, StatusLook::Normal);
    EXPECT_EQ(face.status.detail, "");
}

TEST_F(SyncActions, HiddenFailuresAreToldOncePerRunOfFailures) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    face.hideWindow();
    fileSystem.unsearchable.insert(file(2));

    tick();
    tick();
    EXPECT_EQ(face.trayNotices.size(), 1U);

    fileSystem.unsearchable.clear();
    tick();
    fileSystem.unsearchable.insert(file(2));
    tick();
    EXPECT_EQ(face.trayNotices.size(), 2U);

    face.showWindow();
    tick();
    EXPECT_EQ(face.trayNotices.size(), 2U);  // the red line says it
}

TEST_F(SyncActions, NoPassStartsWhileOneRuns) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    program->syncNowClicked();
    ASSERT_TRUE(program->passRunning());
    const auto paintedBefore = face.statusHistory.size();

    program->timerTicked();
    program->syncNowClicked();
    EXPECT_EQ(face.backgroundJobsWaiting(), 1U);  // a second pass would wait here too
    EXPECT_EQ(face.statusHistory.size(), paintedBefore);
    face.finishBackgroundWork();

    EXPECT_EQ(fileSystem.copies, 1);
    EXPECT_FALSE(program->passRunning());
}

TEST_F(SyncActions, SyncNowPaintsTheLineOnceBeforeItsPass) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    syncNow();  // the line is bold now
    put(1, "newer", kNew + 60);
    const auto paintedBefore = face.statusHistory.size();

    program->syncNowClicked();

    ASSERT_EQ(face.statusHistory.size(), paintedBefore + 1);
    EXPECT_EQ(face.status.text, "File2 updated 3/14/2025 at 9:05:07 PM");
    EXPECT_EQ(face.status.look, StatusLook::Normal);
    face.finishBackgroundWork();
    EXPECT_EQ(contentOf(2), "newer");
}

// An idle auto sync must not wake the window twice a tick: a pass that finds equal times
// while the line already looks as that outcome would leave it sends nothing back.
TEST_F(SyncActions, AnIdlePassWithNothingToShowSendsNothingBack) {
    startWithSlotsOnFiles();
    put(1, "same", kOld);
    put(2, "same", kOld);
    program->autoSyncClicked();
    tick();  // the first finds them in step, and remembers that

    for (int i = 0; i < 3; ++i) {
        program->timerTicked();
        face.runBackgroundWork();
        EXPECT_EQ(face.uiTasksWaiting(), 0U);
        EXPECT_FALSE(program->passRunning());
    }

    fileSystem.unsearchable.insert(file(2));
    tick();
    EXPECT_EQ(face.status.look, behaviour::StatusLook::Failure);
    fileSystem.unsearchable.clear();
    program->timerTicked();
    face.runBackgroundWork();
    EXPECT_EQ(face.uiTasksWaiting(), 1U);  // the red line must go
    face.runUiTasks();
    EXPECT_EQ(face.status.look, behaviour::StatusLook::Normal);
}

TEST_F(SyncActions, ExitWhileAQuietPassEndsStillEndsTheProgram) {
    startWithSlotsOnFiles();
    put(1, "same", kOld);
    put(2, "same", kOld);
    program->syncNowClicked();

    program->exitChosen();
    face.finishBackgroundWork();

    EXPECT_TRUE(face.ended);
    EXPECT_TRUE(savedHas("LastSyncEvent=NIL"));
}

TEST_F(SyncActions, LongCopyShowsItsProgressAndASaveKeepsTheLastFinishedEvent) {
    startWithSlotsOnFiles();
    put(1, std::string(8 << 20, 'n'), kNew);
    put(2, "old", kOld);
    auto now = std::chrono::steady_clock::now();
    program->setClock([&now] { return now; });
    program->syncNowClicked();
    now += std::chrono::seconds(1);

    face.runBackgroundWork();
    ASSERT_GE(face.uiTasksWaiting(), 2U);
    face.runUiTasks(face.uiTasksWaiting() - 1);  // the progress, not yet the outcome

    program->hideToTrayClicked();
    EXPECT_TRUE(savedHas("LastSyncEvent=NIL"));
    bool sawProgress = false;
    for (const auto& shown : face.statusHistory) {
        if (shown.text.rfind("Copying to File2: ", 0) == 0) {
            sawProgress = true;
            EXPECT_EQ(shown.look, StatusLook::Normal);
        }
    }
    EXPECT_TRUE(sawProgress);
    face.runUiTasks();
    EXPECT_EQ(face.status.text, "File2 updated 3/14/2025 at 9:05:07 PM");
}

// The line keeps its form, but never lets a path the pass did not touch pass for the one
// it did: the hover names where the copy went, until a pass on the boxes as they are.
TEST_F(SyncActions, SlotRetypedDuringACopyIsNamedByWhereTheCopyWent) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    put(3, "new", kNew);
    fileSystem.keptAs = platform::KeptCopy{platform::KeptCopy::Place::Trash, {}};
    program->syncNowClicked();
    const std::string copiedTo = file(2);

    face.setPathText(2, file(3));
    face.finishBackgroundWork();

    EXPECT_EQ(contentOf(2), "new");
    EXPECT_EQ(face.status.text, "File2 updated 3/14/2025 at 9:05:07 PM");
    EXPECT_EQ(face.status.look, StatusLook::Bold);
    EXPECT_EQ(face.status.detail, "File2's previous version is in the Trash.\nFile2 was " +
                                      copiedTo + " when it was updated.");
    syncNow();
    EXPECT_EQ(face.status.detail, "");
}

using AutoSync = ProgramFixture;

TEST_F(AutoSync, IntervalsAreJudgedBeforeAutoSyncStarts) {
    struct Case {
        const char* typed;
        const char* message;
        int milliseconds;
    };
    const Case cases[] = {
        {"10", "", 10'000},
        {"60", "", 60'000},
        {"060", "", 60'000},
        {"61", "Max Sync Interval is 60 seconds", 0},
        {"0", "Min Sync Interval is 1 second", 0},
        {"00", "Min Sync Interval is 1 second", 0},
        {"-5", "Enter only numbers to Sync Interval", 0},
        {"1.5", "Enter only numbers to Sync Interval", 0},
        {" 5", "Enter only numbers to Sync Interval", 0},
        {"", "Enter only numbers to Sync Interval", 0},
    };
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        face.boxes.clear();
        face.interval = c.typed;

        program->autoSyncClicked();

        EXPECT_EQ(face.timerMilliseconds, c.milliseconds);
        EXPECT_EQ(program->autoSyncOn(), c.milliseconds != 0);
        EXPECT_EQ(face.badgeOn, c.milliseconds != 0);
        EXPECT_EQ(face.slotsLocked, c.milliseconds != 0);
        if (*c.message == '\0') {
            EXPECT_TRUE(face.boxes.empty());
            program->autoSyncClicked();  // off again for the next case
        } else {
            ASSERT_EQ(face.boxes.size(), 1U);
            EXPECT_EQ(face.boxes[0].text, c.message);
        }
    }
}

TEST_F(AutoSync, ToggleSwitchesOnThenOffAndEachPressShowsTheLineInBlack) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    fileSystem.unsearchable.insert(file(2));
    syncNow();
    ASSERT_EQ(face.status.look, StatusLook::Failure);

    program->autoSyncClicked();
    EXPECT_EQ(face.status.look, StatusLook::Normal);
    program->autoSyncClicked();

    EXPECT_FALSE(program->autoSyncOn());
    EXPECT_EQ(face.timerMilliseconds, 0);
    EXPECT_FALSE(face.slotsLocked);
}

}  // namespace
}  // namespace kelvane::testing
