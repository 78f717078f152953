// What a pass makes of each file's state when the files were last in step: a change since
// is carried over however small, a lost edit is named, a daylight-saving shift on FAT is
// none; and what no memory can save: a copy dated in the future, a target edited while
// its copy ran.
#include <gtest/gtest.h>

#include <chrono>

#include "SyncFixture.h"

namespace kelvane::testing {
namespace {

using sync::SyncResult;

constexpr std::int32_t kHalfSecond = 500'000'000;
constexpr std::int64_t kHour = 3600;

std::int64_t secondsFromNow(std::int64_t seconds) {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
               .count() +
           seconds;
}

using InStep = SyncFixture;

TEST_F(InStep, ChangeSinceTheLastSyncIsCarriedOverHoweverSmall) {
    // A whole-second time, as archives and downloads give, then a save in that second.
    writeFileAt(path(1), "copied", kNew);
    put(2, "old", kOld);
    ASSERT_EQ(runRemembering("110").result, SyncResult::Copied);
    EXPECT_EQ(run("110").result, SyncResult::Equal) << "alone, the times cannot tell";
    writeFileAt(path(1), "saved in the same second", kNew, kHalfSecond);
    EXPECT_EQ(runRemembering("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "saved in the same second");

    // A two-second volume that kept the copy a step later, then a save at once.
    fileSystem.coarseTimes.insert(path(2));
    fileSystem.afterCopy = [](const std::string& target) { setModified(target, kNew + 4); };
    writeFileAt(path(1), "copied onto FAT", kNew + 2, kHalfSecond);
    ASSERT_EQ(runRemembering("110").result, SyncResult::Copied);
    writeFileAt(path(1), "saved at once", kNew + 3);
    EXPECT_EQ(runRemembering("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "saved at once");

    // The same time, another size.
    fileSystem.afterCopy = nullptr;
    writeFileAt(path(2), "saved at once, and longer", kNew + 4);
    EXPECT_EQ(runRemembering("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(1), "saved at once, and longer");

    const int copies = fileSystem.copies;
    EXPECT_EQ(runRemembering("110").result, SyncResult::Equal);
    EXPECT_EQ(runRemembering("110").result, SyncResult::Equal);
    EXPECT_EQ(fileSystem.copies, copies);
}

TEST_F(InStep, TwoSecondStepsAreNotPinnedOnAReusedDeviceNumber) {
    writeFileAt(path(1), "saved", kNew, kHalfSecond);
    writeFileAt(path(2), "saved again", kNew + 1, kHalfSecond + 1);
    const auto look = fileSystem.findOrdinaryFile(path(2));
    ASSERT_TRUE(look && look.value());
    memory.rememberTwoSecondVolume(look.value()->identity.device);  // a stick that had it

    EXPECT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(1), "saved again");
}

TEST_F(InStep, BothChangedIsToldOfTheTargetThatLostItsEdit) {
    put(1, "first", kNew);
    put(2, "old", kOld);
    const auto first = runRemembering("110");
    ASSERT_EQ(first.replaced.size(), 1U);
    EXPECT_FALSE(first.replaced[0].hadOwnChanges) << "nothing was known before";

    put(1, "mine", kNew + 20);
    put(2, "theirs", kNew + 10);
    const auto both = runRemembering("110");
    ASSERT_EQ(both.result, SyncResult::Copied);
    EXPECT_EQ(both.sourceSlot, 1);
    ASSERT_EQ(both.replaced.size(), 1U);
    EXPECT_EQ(both.replaced[0].slot, 2);
    EXPECT_TRUE(both.replaced[0].hadOwnChanges);

    put(1, "mine again", kNew + 30);
    const auto one = runRemembering("110");
    ASSERT_EQ(one.replaced.size(), 1U);
    EXPECT_FALSE(one.replaced[0].hadOwnChanges);
}

TEST_F(InStep, DaylightSavingShiftOnATwoSecondVolumeIsNoChange) {
    fileSystem.coarseTimes.insert(path(2));
    put(1, "in step", kNew);
    put(2, "in step", kNew);
    ASSERT_EQ(runRemembering("110").result, SyncResult::Equal);

    setModified(path(2), kNew + kHour);
    EXPECT_EQ(runRemembering("110").result, SyncResult::Equal);
    setModified(path(2), kNew + 1);  // and back, within the step
    EXPECT_EQ(runRemembering("110").result, SyncResult::Equal);
    EXPECT_EQ(fileSystem.copies, 0);

    put(1, "edited", kNew + 60);
    const auto edited = runRemembering("110");
    ASSERT_EQ(edited.replaced.size(), 1U);
    EXPECT_FALSE(edited.replaced[0].hadOwnChanges);

    // Elsewhere an hour is an hour.
    writeFileAt(path(1), "EDITED", kNew + 60 + kHour);
    EXPECT_EQ(runRemembering("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "EDITED");
}

TEST_F(InStep, CopyDatedInTheFutureNeverWins) {
    const std::int64_t in2099 = 4'070'908'800;
    put(1, "unpacked", in2099);
    put(2, "mine", kNew);

    const auto outcome = runRemembering("110");

    EXPECT_EQ(outcome.result, SyncResult::Failed);
    EXPECT_TRUE(outcome.needsTheUser);
    EXPECT_EQ(outcome.reason.rfind("File1 (" + path(1) + ") is dated 2099-", 0), 0U)
        << outcome.reason;
    EXPECT_NE(outcome.reason.find("five minutes ahead"), std::string::npos);
    EXPECT_EQ(contentOf(2), "mine");
    EXPECT_EQ(fileSystem.copies, 0);

    put(1, "a little ahead", secondsFromNow(4 * 60));
    EXPECT_EQ(runRemembering("110").result, SyncResult::Copied);
}

TEST_F(InStep, ReplacementGoesByTheTargetAsComparedAndItsChangeFailsThePass) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    const auto target = fileSystem.findOrdinaryFile(path(2)).value();
    fileSystem.failingCopies[path(2)] =
        std::string(platform::kTargetChangedMeanwhile) + "modified " + path(2);

    const auto outcome =
        syncSelectedFiles(slots("110"), fileSystem, memory, {}, sync::PassTerms{{}, false});

    EXPECT_EQ(outcome.result, SyncResult::Failed);
    EXPECT_EQ(outcome.reason, "File2 changed while it was being updated");
    EXPECT_FALSE(outcome.inStep);
    EXPECT_EQ(contentOf(2), "old");
    ASSERT_TRUE(fileSystem.lastTerms && fileSystem.lastTerms->expectedTarget);
    EXPECT_EQ(fileSystem.lastTerms->expectedTarget->modified, target->modified);
    EXPECT_EQ(fileSystem.lastTerms->expectedTarget->size, target->size);
    EXPECT_FALSE(fileSystem.lastTerms->keepReplaced);
}

TEST_F(InStep, RetypedOrUntickedSlotIsForgotten) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    put(3, "old", kOld);
    runRemembering("111");
    ASSERT_TRUE(inStep.statesFor(slots("111"))[2]);
    sync::FileSlots retyped = slots("111");
    retyped[1].pathText += " ";

    EXPECT_FALSE(inStep.statesFor(retyped)[1]);
    EXPECT_FALSE(inStep.statesFor(slots("111"))[1]) << "typed back, it stays forgotten";
    EXPECT_FALSE(inStep.statesFor(slots("110"))[2]);
    EXPECT_FALSE(inStep.statesFor(slots("111"))[2]);
    EXPECT_TRUE(inStep.statesFor(slots("111"))[0]);
}

}  // namespace
}  // namespace kelvane::testing
