// What the user is told of the versions copies replace: where each went, an edit lost to
// a newer one (also after a restart), and the failures only the user can end.
#include "ProgramFixture.h"

namespace kelvane::testing {
namespace {

using platform::KeptCopy;
using sync::Tick;

constexpr const char* kBothChanged =
    "File1 and File2 both changed since the last sync. File1 is newer and replaced File2; "
    "File2's version is in the Trash.";

using ReplacedVersions = ProgramFixture;

TEST_F(ReplacedVersions, HoverSaysWhereEachWentAndTheTrayTellsALostEdit) {
    startWithSlotsOnFiles();
    face.setTickState(3, Tick::On);
    put(1, "new", kNew);
    put(2, "old", kOld);
    put(3, "old", kOld);
    fileSystem.keptAs = KeptCopy{KeptCopy::Place::RecycleBin, {}};
    syncNow();
    EXPECT_EQ(face.status.detail,
              "File2's previous version is in the Recycle Bin.\n"
              "File3's previous version is in the Recycle Bin.");
    EXPECT_TRUE(fileSystem.lastTerms->keepReplaced);
    EXPECT_TRUE(face.trayNotices.empty()) << "a first pass knows of no earlier edits";

    face.setTickState(3, Tick::Off);
    fileSystem.keptAs = KeptCopy{KeptCopy::Place::Folder, "/media/stick/.kelvane-replaced"};
    put(1, "newer", kNew + 10);
    syncNow();
    EXPECT_EQ(face.status.detail, "File2's previous version is in /media/stick/.kelvane-replaced.");

    fileSystem.keptAs = KeptCopy{KeptCopy::Place::Trash, {}};
    put(1, "mine", kNew + 30);
    put(2, "theirs", kNew + 20);
    syncNow();
    EXPECT_EQ(face.status.text, "File2 updated 3/14/2025 at 9:05:07 PM");
    EXPECT_EQ(face.status.detail, kBothChanged);
    EXPECT_EQ(face.trayNotices, std::vector<std::string>{kBothChanged});
}

TEST_F(ReplacedVersions, InStepStatesOutliveARestartAndKeepReplacedOffReachesTheCopies) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    syncNow();
    program->exitChosen();
    ASSERT_TRUE(savedHas("[SyncState]"));
    std::string text = readFile(ini());
    writeFile(ini(),
              text.insert(text.find('\n', text.find("[SyncSettings]")) + 1, "KeepReplaced=OFF\n"));

    start();
    put(1, "mine", kNew + 30);
    put(2, "theirs", kNew + 20);
    syncNow();

    EXPECT_FALSE(fileSystem.lastTerms->keepReplaced);
    EXPECT_EQ(face.trayNotices,
              std::vector<std::string>{"File1 and File2 both changed since the last sync. File1 "
                                       "is newer and replaced File2; File2's version was not "
                                       "kept."});
}

TEST_F(ReplacedVersions, FailuresOnlyTheUserCanEndSayWhy) {
    startWithSlotsOnFiles();
    put(1, "new", kNew);
    put(2, "old", kOld);
    fileSystem.failingCopies[file(2)] = std::string(platform::kTargetChangedMeanwhile) + file(2);
    syncNow();
    EXPECT_EQ(face.status.text, sync::kSyncFailedLine);
    EXPECT_EQ(face.status.detail, "File2 changed while it was being updated");
    EXPECT_EQ(contentOf(2), "old");

    put(1, "unpacked", 4'070'908'800);  // 2099
    face.hideWindow();
    syncNow();
    syncNow();
    ASSERT_EQ(face.trayNotices.size(), 1U);
    EXPECT_EQ(face.trayNotices[0].rfind(std::string(sync::kSyncFailedLine) + "\nFile1 (", 0), 0U);
    EXPECT_NE(face.trayNotices[0].find("ahead of this computer's clock"), std::string::npos);
}

}  // namespace
}  // namespace kelvane::testing
