// How a pass compares last-modified times: at the precision the two files show, within
// two seconds on a volume that keeps two-second steps, each file of three against the
// newest, and a copy judged by the time its target shows afterwards.
#include <gtest/gtest.h>

#include <functional>

#include "SyncFixture.h"

namespace kelvane::testing {
namespace {

using sync::SyncResult;

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int32_t kFirstSave = 100'123'456;     // 0.1 s into a second
constexpr std::int32_t kSecondSave = 900'654'321;    // 0.9 s into the same second
constexpr std::int64_t kLatestKept = 1'699'913'600;  // a day before the source's time

// A target file system played by changing the copy's time right after the copy, as the
// file system would have kept it.
void keepCopiesAs(FaultyFileSystem& fileSystem,
                  std::function<std::chrono::nanoseconds(std::chrono::nanoseconds)> kept) {
    fileSystem.afterCopy = [kept](const std::string& target) {
        const std::int64_t time = kept(modifiedSinceEpoch(target)).count();
        setModified(target, time / kNanosecondsPerSecond,
                    static_cast<std::int32_t>(time % kNanosecondsPerSecond));
    };
}

std::chrono::nanoseconds cutTo(std::chrono::nanoseconds time, std::int64_t step) {
    return std::chrono::nanoseconds(time.count() / step * step);
}

struct TargetKeeps {
    const char* name;
    std::int64_t step;  // in nanoseconds
    bool subSeconds;
};

class TargetPrecision : public SyncFixture, public ::testing::WithParamInterface<TargetKeeps> {};

TEST_P(TargetPrecision, FreshCopyIsEqualAndASaveInTheSameSecondIsCarriedOver) {
    const std::int64_t step = GetParam().step;
    keepCopiesAs(fileSystem, [step](std::chrono::nanoseconds time) { return cutTo(time, step); });
    writeFileAt(path(1), "first save", kNew, kFirstSave);
    put(2, "old", kOld);

    ASSERT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(run("110").result, SyncResult::Equal) << "a fresh copy compares equal";

    writeFileAt(path(1), "second save", kNew, kSecondSave);
    const auto outcome = run("110");

    if (GetParam().subSeconds) {
        EXPECT_EQ(outcome.result, SyncResult::Copied);
        EXPECT_EQ(contentOf(2), "second save");
        EXPECT_EQ(run("110").result, SyncResult::Equal);
    } else {
        EXPECT_EQ(outcome.result, SyncResult::Equal) << "whole seconds cannot tell them apart";
    }
    EXPECT_EQ(contentOf(1), "second save");
}

INSTANTIATE_TEST_SUITE_P(Steps, TargetPrecision,
                         ::testing::Values(TargetKeeps{"Nanoseconds", 1, true},
                                           TargetKeeps{"HundredNanoseconds", 100, true},
                                           TargetKeeps{"Microseconds", 1'000, true},
                                           TargetKeeps{"Milliseconds", 1'000'000, true},
                                           TargetKeeps{"TenMillisecondsAsExfat", 10'000'000, true},
                                           TargetKeeps{"WholeSeconds", kNanosecondsPerSecond,
                                                       false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SyncFixture, SaveInTheSameSecondAsTheCopyIsCarriedOverEitherWay) {
    writeFileAt(path(1), "copied", kNew, kFirstSave);
    writeFileAt(path(2), "saved again", kNew, kSecondSave);

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Copied);
    EXPECT_EQ(outcome.statusPrefix, "File1 updated ");
    EXPECT_EQ(contentOf(1), "saved again");
}

// The copy's time read back gives a two-second volume away, whatever its mount is called.
TEST_F(SyncFixture, VolumeThatKeepsTwoSecondStepsIsKnownByItsCopyAndNeverLoops) {
    keepCopiesAs(fileSystem, [](std::chrono::nanoseconds time) {
        return cutTo(time, 2 * kNanosecondsPerSecond);
    });
    writeFileAt(path(1), "new", kNew + 1, 250'000'000);
    put(2, "old", kOld);

    ASSERT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(secondsOf(2), kNew);
    EXPECT_EQ(run("110").result, SyncResult::Equal);
    EXPECT_EQ(run("110").result, SyncResult::Equal);
    EXPECT_EQ(fileSystem.copies, 1);
    EXPECT_EQ(contentOf(2), "new");
}

TEST_F(SyncFixture, TargetThatCannotTakeTheTimeIsToldOnceAndNotCopiedAgain) {
    keepCopiesAs(fileSystem,
                 [](std::chrono::nanoseconds) { return std::chrono::seconds(kLatestKept); });
    put(1, "new", kNew);
    put(2, "old", kOld);

    const auto first = run("110");

    EXPECT_EQ(first.result, SyncResult::Failed);
    EXPECT_NE(first.reason.find("did not keep the source's time"), std::string::npos)
        << first.reason;
    EXPECT_EQ(contentOf(2), "new");
    EXPECT_EQ(run("110").result, SyncResult::Equal);
    EXPECT_EQ(run("110").result, SyncResult::Equal);
    EXPECT_EQ(fileSystem.copies, 1);

    put(1, "saved again", kNew + 10);
    EXPECT_EQ(run("110").result, SyncResult::Failed);
    EXPECT_EQ(contentOf(2), "saved again");
    EXPECT_EQ(run("110").result, SyncResult::Equal);
}

// A copy whose target ended up newer than its source (a file system that sets its own
// time) is not copied back either.
TEST_F(SyncFixture, TargetLeftWithANewerTimeIsNotCopiedBack) {
    keepCopiesAs(fileSystem,
                 [](std::chrono::nanoseconds) { return std::chrono::seconds(kNew + 500); });
    put(1, "new", kNew);
    put(2, "old", kOld);

    EXPECT_EQ(run("110").result, SyncResult::Failed);
    EXPECT_EQ(run("110").result, SyncResult::Equal);
    EXPECT_EQ(fileSystem.copies, 1);
    EXPECT_EQ(contentOf(1), "new");
}

// Each file is compared with the newest: the window of a FAT file in the middle does not
// make the oldest equal to the newest.
struct TripleWindow {
    const char* name;
    std::int64_t t1, t2, t3;
    int twoSecondSlot;
    bool copies;
    const char* prefix;
};

class TripleAgainstTheNewest : public SyncFixture,
                               public ::testing::WithParamInterface<TripleWindow> {};

TEST_P(TripleAgainstTheNewest, OlderThanTheWindowReceivesTheCopy) {
    const TripleWindow& c = GetParam();
    put(1, "one", kNew + c.t1);
    put(2, "two", kNew + c.t2);
    put(3, "three", kNew + c.t3);
    fileSystem.coarseTimes.insert(path(c.twoSecondSlot));

    const auto outcome = run("111");

    if (!c.copies) {
        EXPECT_EQ(outcome.result, SyncResult::Equal);
        EXPECT_EQ(fileSystem.copies, 0);
        return;
    }
    ASSERT_EQ(outcome.result, SyncResult::Copied) << outcome.reason;
    EXPECT_EQ(outcome.statusPrefix, c.prefix);
    EXPECT_EQ(contentOf(1), contentOf(2));
    EXPECT_EQ(contentOf(2), contentOf(3));
}

INSTANTIATE_TEST_SUITE_P(FatInTheMiddle, TripleAgainstTheNewest,
                         ::testing::Values(TripleWindow{"OldestOutsideTheWindow", 101, 102, 103, 2,
                                                        true, "File1 and File2 updated "},
                                           TripleWindow{"NewestFirst", 103, 102, 101, 2, true,
                                                        "File2 and File3 updated "},
                                           TripleWindow{"WithinTheWindowOfTheNewest", 101, 102, 102,
                                                        1, false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvane::testing
