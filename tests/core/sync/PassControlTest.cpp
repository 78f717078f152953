// A pass that its caller follows and stops: progress between chunks, and a stop that
// leaves the target as it was.
#include "SyncFixture.h"

namespace kelvane::testing {
namespace {

using PassControl = SyncFixture;

constexpr std::size_t kLarge = 3 * platform::kCopyChunk + 12345;

TEST_F(PassControl, ProgressClimbsToTheWholeFileAndNamesTheTarget) {
    put(1, std::string(kLarge, 'n'), kNew);
    put(2, "old", kOld);
    std::vector<sync::CopyProgress> seen;
    sync::PassControl control;
    control.progressed = [&seen](const sync::CopyProgress& progress) { seen.push_back(progress); };

    const auto outcome = syncSelectedFiles(slots("110"), fileSystem, control);

    ASSERT_EQ(outcome.result, sync::SyncResult::Copied);
    ASSERT_GE(seen.size(), 4U);  // one look per chunk at least
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].copiedBytes, seen[i - 1].copiedBytes);
    }
    EXPECT_EQ(seen.back().copiedBytes, kLarge);
    EXPECT_EQ(seen.back().totalBytes, kLarge);
    EXPECT_EQ(seen.back().targetSlot, 2);
}

TEST_F(PassControl, StopBetweenChunksLeavesTheTargetAndNoTemporaryFile) {
    put(1, std::string(kLarge, 'n'), kNew);
    put(2, "old", kOld);
    int looks = 0;
    sync::PassControl control;
    control.progressed = [&looks](const sync::CopyProgress&) { ++looks; };
    control.cancelled = [&looks] { return looks >= 2; };  // stop in the middle

    const auto outcome = syncSelectedFiles(slots("110"), fileSystem, control);

    EXPECT_EQ(outcome.result, sync::SyncResult::Cancelled);
    EXPECT_TRUE(contentOf(2) == "old");
    EXPECT_EQ(secondsOf(2), kOld);
    EXPECT_EQ(folder.entries("b"), std::vector<std::string>{"notes.txt"});
}

// Two files of one size are compared before a copy; a long comparison is stopped too.
TEST_F(PassControl, StopWhileComparingFilesOfOneSizeCopiesNothing) {
    std::string edited(kLarge, 'n');
    edited.back() = 'e';  // only the last piece tells them apart
    put(1, edited, kNew);
    put(2, std::string(kLarge, 'n'), kOld);
    int asked = 0;
    sync::PassControl control;
    control.cancelled = [&asked] { return ++asked > 2; };  // after the first compared piece

    const auto outcome = syncSelectedFiles(slots("110"), fileSystem, memory, control);

    EXPECT_EQ(outcome.result, sync::SyncResult::Cancelled) << outcome.reason;
    EXPECT_EQ(fileSystem.copies, 0);
    EXPECT_TRUE(contentOf(2) == std::string(kLarge, 'n'));
    EXPECT_EQ(secondsOf(2), kOld);
    EXPECT_EQ(secondsOf(1), kNew);
}

TEST_F(PassControl, StopBeforeTheSecondTargetKeepsTheFirstCopy) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    put(3, "old", kOld);
    bool firstCopyDone = false;
    fileSystem.afterCopy = [&firstCopyDone](const std::string&) { firstCopyDone = true; };
    sync::PassControl control;
    control.cancelled = [&firstCopyDone] { return firstCopyDone; };

    const auto outcome = syncSelectedFiles(slots("111"), fileSystem, control);

    EXPECT_EQ(outcome.result, sync::SyncResult::Cancelled);
    EXPECT_EQ(contentOf(2), "new");
    EXPECT_EQ(contentOf(3), "old");
}

}  // namespace
}  // namespace kelvane::testing
