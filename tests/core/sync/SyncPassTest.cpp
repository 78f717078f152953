// What one pass does with two or three real files: which one wins, what it says, and
// what it refuses.
#include <gtest/gtest.h>

#include "SyncFixture.h"

namespace kelvane::testing {
namespace {

using sync::SyncResult;

struct PairCase {
    const char* ticks;
    int low;
    int high;
    bool lowIsNewer;
    const char* prefix;
};

void PrintTo(const PairCase& c, std::ostream* out) {
    *out << c.ticks << (c.lowIsNewer ? " low newer" : " high newer");
}

class PairSync : public SyncFixture, public ::testing::WithParamInterface<PairCase> {};

TEST_P(PairSync, NewerFileReplacesOlderAndNamesTheUpdatedSlot) {
    const PairCase& c = GetParam();
    const int newer = c.lowIsNewer ? c.low : c.high;
    const int older = c.lowIsNewer ? c.high : c.low;
    put(newer, "fresh content", kNew);
    put(older, "stale", kOld);

    const auto outcome = run(c.ticks);

    EXPECT_EQ(outcome.result, SyncResult::Copied);
    EXPECT_EQ(outcome.statusPrefix, c.prefix);
    EXPECT_EQ(contentOf(older), "fresh content");
    EXPECT_EQ(secondsOf(older), kNew);
    EXPECT_EQ(contentOf(newer), "fresh content");
}

INSTANTIATE_TEST_SUITE_P(EveryPair, PairSync,
                         ::testing::Values(PairCase{"110", 1, 2, true, "File2 updated "},
                                           PairCase{"110", 1, 2, false, "File1 updated "},
                                           PairCase{"101", 1, 3, true, "File3 updated "},
                                           PairCase{"101", 1, 3, false, "File1 updated "},
                                           PairCase{"011", 2, 3, true, "File3 updated "},
                                           PairCase{"011", 2, 3, false, "File2 updated "}));

struct TripleCase {
    const char* name;
    std::int64_t t1, t2, t3;
    int source;
    const char* prefix;
};

void PrintTo(const TripleCase& c, std::ostream* out) {
    *out << c.name;
}

class TripleSync : public SyncFixture, public ::testing::WithParamInterface<TripleCase> {};

TEST_P(TripleSync, NewestWinsAndTiesGoToTheRuleOrder) {
    const TripleCase& c = GetParam();
    put(1, "one", c.t1);
    put(2, "two", c.t2);
    put(3, "three", c.t3);
    const std::string expected = contentOf(c.source);
    const std::int64_t expectedTime = secondsOf(c.source);

    const auto outcome = run("111");

    ASSERT_EQ(outcome.result, SyncResult::Copied) << outcome.reason;
    EXPECT_EQ(outcome.statusPrefix, c.prefix);
    for (int slot = 1; slot <= 3; ++slot) {
        EXPECT_EQ(contentOf(slot), expected) << "slot " << slot;
        EXPECT_EQ(secondsOf(slot), expectedTime) << "slot " << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(
    TieRules, TripleSync,
    ::testing::Values(
        TripleCase{"OneNewest", 300, 100, 200, 1, "File2 and File3 updated "},
        TripleCase{"TwoNewest", 100, 300, 200, 2, "File1 and File3 updated "},
        TripleCase{"ThreeNewest", 100, 200, 300, 3, "File1 and File2 updated "},
        TripleCase{"OneAndTwoTieAboveThree", 300, 300, 100, 2, "File1 and File3 updated "},
        TripleCase{"OneAndThreeTieAboveTwo", 300, 100, 300, 1, "File2 and File3 updated "},
        TripleCase{"TwoAndThreeTieAboveOne", 100, 300, 300, 2, "File1 and File3 updated "},
        TripleCase{"OneAndTwoTieBelowThree", 100, 100, 300, 3, "File1 and File2 updated "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SyncFixture, EqualTimesCopyNothing) {
    put(1, "one", kOld);
    put(2, "two", kOld);
    put(3, "three", kOld);

    EXPECT_EQ(run("110").result, SyncResult::Equal);
    EXPECT_EQ(run("111").result, SyncResult::Equal);
    EXPECT_EQ(fileSystem.copies, 0);
    EXPECT_EQ(contentOf(1), "one");
    EXPECT_EQ(contentOf(2), "two");
}

TEST_F(SyncFixture, SecondPassAfterACopyFindsEqualTimes) {
    writeFileAt(path(1), "new", kNew, 123'456'789);
    put(2, "old", kOld);
    put(3, "older", kOld - 10);

    ASSERT_EQ(run("111").result, SyncResult::Copied);
    EXPECT_EQ(modifiedSinceEpoch(path(2)), modifiedSinceEpoch(path(1)))
        << "time carried over exactly";
    const auto again = run("111");

    EXPECT_EQ(again.result, SyncResult::Equal);
    EXPECT_EQ(fileSystem.copies, 2);
}

TEST_F(SyncFixture, UntickedSlotIsNeverLookedAt) {
    put(2, "new", kNew);
    put(3, "old", kOld);
    auto chosen = slots("011");
    chosen[0].pathText = "";

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

    EXPECT_EQ(outcome.result, SyncResult::Copied);
    EXPECT_EQ(outcome.statusPrefix, "File3 updated ");
    EXPECT_EQ(fileSystem.looks, 2);
}

TEST_F(SyncFixture, GreyedTickCountsAsNotTicked) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    auto chosen = slots("110");
    chosen[1].tick = sync::Tick::Greyed;

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

    EXPECT_EQ(outcome.result, SyncResult::Refused);
    EXPECT_EQ(outcome.message, "Select at least two files");
    EXPECT_EQ(contentOf(2), "old");
}

// Refusals, in the order the pass checks them.
struct RefusalCase {
    const char* name;
    const char* ticks;
    const char* present;  // which of the three files exist, e.g. "110"
    const char* message;
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class Refusals : public SyncFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, ExplainAndTouchNothing) {
    const RefusalCase& c = GetParam();
    for (int slot = 1; slot <= 3; ++slot) {
        if (c.present[slot - 1] == '1') {
            put(slot, "content " + std::to_string(slot), kOld + slot);
        }
    }

    const auto outcome = run(c.ticks);

    EXPECT_EQ(outcome.result, SyncResult::Refused);
    EXPECT_EQ(outcome.message, c.message);
    EXPECT_EQ(fileSystem.copies, 0);
    for (int slot = 1; slot <= 3; ++slot) {
        if (c.present[slot - 1] == '1') {
            EXPECT_EQ(contentOf(slot), "content " + std::to_string(slot));
        }
    }
}

constexpr const char* kFile1NotFound =
    "File1 not found\r\n\r\nCheck file path and name or unselect file.";
constexpr const char* kFile2NotFound =
    "File2 not found\r\n\r\nCheck file path and name or unselect file.";
constexpr const char* kFile3NotFound =
    "File3 not found\r\n\r\nCheck file path and name or unselect file.";

INSTANTIATE_TEST_SUITE_P(
    InCheckOrder, Refusals,
    ::testing::Values(RefusalCase{"FirstMissingOfTwo", "110", "000", kFile1NotFound},
                      RefusalCase{"SecondMissing", "110", "100", kFile2NotFound},
                      RefusalCase{"ThirdMissing", "111", "110", kFile3NotFound},
                      RefusalCase{"LoneTickedMissingBeatsSelectTwo", "100", "000", kFile1NotFound},
                      RefusalCase{"OneTicked", "100", "111", "Select at least two files"},
                      RefusalCase{"NoneTicked", "000", "111", "Select at least two files"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SyncFixture, EmptyPathOfATickedSlotIsNotFound) {
    put(1, "x", kNew);
    auto chosen = slots("110");
    chosen[1].pathText = "";

    EXPECT_EQ(syncSelectedFiles(chosen, fileSystem).message, kFile2NotFound);
}

TEST_F(SyncFixture, FolderIsNotAFile) {
    put(1, "x", kNew);
    folder.makeFolder("b/notes.txt");

    EXPECT_EQ(run("110").message, kFile2NotFound);
}

TEST_F(SyncFixture, NamesDifferingOnlyInCaseAreRefused) {
    put(1, "new", kNew);
    writeFileAt(path(2, "Notes.txt"), "old", kOld);
    auto chosen = slots("110");
    chosen[1].pathText = path(2, "Notes.txt");

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

    EXPECT_EQ(outcome.result, SyncResult::Refused);
    EXPECT_EQ(outcome.message, "File names must be identical in each folder.");
    EXPECT_EQ(readFile(path(2, "Notes.txt")), "old");
}

TEST_F(SyncFixture, TripleNameTestComparesEveryPair) {
    put(1, "a", kNew);
    put(2, "b", kOld);
    writeFileAt(path(3, "other.txt"), "c", kOld);
    auto chosen = slots("111");
    chosen[2].pathText = path(3, "other.txt");

    EXPECT_EQ(syncSelectedFiles(chosen, fileSystem).message,
              "File names must be identical in each folder.");
    EXPECT_EQ(contentOf(2), "b");
}

TEST_F(SyncFixture, WorkingPathsAreReported) {
    put(1, "a", kNew);
    put(2, "b", kOld);

    const auto outcome = run("110");

    EXPECT_EQ(outcome.workingPaths[0], path(1));
    EXPECT_EQ(outcome.workingPaths[2], path(3));
}

// One file under two names must never be copied onto itself.
TEST_F(SyncFixture, SameFileInTwoSlotsIsLeftAlone) {
    put(1, "only copy", kNew);
    put(3, "old", kOld);
    auto chosen = slots("111");
    chosen[1].pathText = path(1);  // same text as slot 1

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

    ASSERT_EQ(outcome.result, SyncResult::Copied) << outcome.reason;
    EXPECT_EQ(outcome.statusPrefix, "File2 and File3 updated ");
    EXPECT_EQ(contentOf(1), "only copy");
    EXPECT_EQ(contentOf(3), "only copy");
    EXPECT_EQ(fileSystem.copies, 1);
}

TEST_F(SyncFixture, FilesWithoutAnIdentityAreStillTwoFiles) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    fileSystem.withoutIdentity = true;

    EXPECT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "new");
}

TEST_F(SyncFixture, SamePathTextIsOneFileEvenWithoutAnIdentity) {
    put(1, "only copy", kNew);
    put(3, "old", kOld);
    auto chosen = slots("111");
    chosen[1].pathText = path(1);
    fileSystem.withoutIdentity = true;

    ASSERT_EQ(syncSelectedFiles(chosen, fileSystem).result, SyncResult::Copied);
    EXPECT_EQ(fileSystem.copies, 1);
    EXPECT_EQ(contentOf(3), "only copy");
}

TEST_F(SyncFixture, SameFileThroughADifferentSpellingIsLeftAlone) {
    put(1, "only copy", kNew);
    auto chosen = slots("110");
    chosen[1].pathText = folder.file("a/../a/notes.txt");

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

    EXPECT_EQ(outcome.result, SyncResult::Equal);
    EXPECT_EQ(contentOf(1), "only copy");
    EXPECT_EQ(fileSystem.copies, 0);
}

}  // namespace
}  // namespace kelvane::testing
