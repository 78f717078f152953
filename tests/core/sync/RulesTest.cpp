// The time rule and the path rules the pass relies on.
#include <gtest/gtest.h>

#include "SyncFixture.h"

namespace kelvane::testing {
namespace {

using sync::SyncResult;

// A FAT volume keeps two-second steps: a copy of a file stamped at an odd second lands
// a second off, and the next pass must not copy it back again.
TEST_F(SyncFixture, OneSecondApartOnCoarseVolumeCountsAsEqual) {
    put(1, "ext4 side", kNew + 1);
    put(2, "fat side", kNew);
    fileSystem.coarseTimes.insert(path(2));

    EXPECT_EQ(run("110").result, SyncResult::Equal);
    EXPECT_EQ(contentOf(2), "fat side");
}

TEST_F(SyncFixture, TwoSecondsApartOnCoarseVolumeStillCopies) {
    put(1, "newer", kNew + 2);
    put(2, "older", kNew);
    fileSystem.coarseTimes.insert(path(2));

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "newer");
}

TEST_F(SyncFixture, OneSecondApartOnFineVolumesCopies) {
    put(1, "newer", kNew + 1);
    put(2, "older", kNew);

    EXPECT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "newer");
}

TEST_F(SyncFixture, CoarseTripleSettlesAfterOneCopy) {
    put(1, "newest", kNew + 5);
    put(2, "middle", kNew);
    put(3, "oldest", kOld);
    fileSystem.coarseTimes.insert(path(3));

    ASSERT_EQ(run("111").result, SyncResult::Copied);
    setModified(path(3), kNew + 4);  // as a FAT volume would round the odd second
    EXPECT_EQ(run("111").result, SyncResult::Equal);
}

TEST(PathRules, FileNameIsTheLastComponent) {
    FaultyFileSystem fileSystem;
#ifdef _WIN32
    EXPECT_EQ(fileSystem.fileName("C:\\folder\\notes.txt"), "notes.txt");
    EXPECT_EQ(fileSystem.fileName("C:notes.txt"), "notes.txt");
    EXPECT_EQ(fileSystem.workingPath("C:/folder/notes.txt"), "C:\\folder\\notes.txt");
#else
    EXPECT_EQ(fileSystem.fileName("/home/me/notes.txt"), "notes.txt");
    EXPECT_EQ(fileSystem.fileName("notes.txt"), "notes.txt");
    EXPECT_EQ(fileSystem.fileName("/home/me/odd\\name.txt"), "odd\\name.txt");
    EXPECT_EQ(fileSystem.workingPath("/home/me/notes.txt"), "/home/me/notes.txt");
#endif
}

TEST_F(SyncFixture, PathsWithForwardSlashesWork) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    auto chosen = slots("110");
    for (auto& slot : chosen) {
        std::replace(slot.pathText.begin(), slot.pathText.end(), '\\', '/');
    }

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

    EXPECT_EQ(outcome.result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "new");
}

}  // namespace
}  // namespace kelvane::testing
