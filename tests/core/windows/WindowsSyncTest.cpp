// A whole pass on Windows: attributes that hide a file, another application holding a
// copy open, read-only copies, and the spellings of one path.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "SyncFixture.h"
#include "WindowsFiles.h"

namespace kelvane::testing {
namespace {

namespace fs = std::filesystem;
using sync::SyncResult;

class WindowsSync : public SyncFixture {
  protected:
    void TearDown() override {
        for (const char* sub : {"a", "b", "c"}) {
            for (const auto& entry : fs::directory_iterator(folder.path() / sub)) {
                clearAttributes(entry.path());
            }
        }
    }

    ULONGLONG ticksOfSlot(int slot) const { return ticksOf(writeTimeOf(path(slot))); }

    void expectNoTemporaryFiles() {
        for (const char* sub : {"a", "b", "c"}) {
            for (const auto& name : folder.entries(sub)) {
                EXPECT_EQ(name.find(".kelvane-"), std::string::npos) << sub << "/" << name;
            }
        }
    }
};

TEST_F(WindowsSync, HiddenTargetCountsAsMissing) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    addAttributes(path(2), FILE_ATTRIBUTE_HIDDEN);

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Refused);
    EXPECT_EQ(outcome.message, sync::notFoundMessage(2));
    EXPECT_EQ(contentOf(2), "old");
}

TEST_F(WindowsSync, SystemSourceCountsAsMissing) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    addAttributes(path(1), FILE_ATTRIBUTE_SYSTEM);

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Refused);
    EXPECT_EQ(outcome.message, sync::notFoundMessage(1));
    EXPECT_EQ(contentOf(2), "old");
}

TEST_F(WindowsSync, HiddenFileInAnUntickedSlotIsNeverLookedAt) {
    put(1, "hidden", kNew);
    put(2, "old", kOld);
    put(3, "new", kNew);
    addAttributes(path(1), FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(run("011").statusPrefix, "File2 updated ");
}

// The failure the user's message names: another application holds the copy open.
TEST_F(WindowsSync, TargetHeldOpenFailsUntilItIsReleased) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    const ULONGLONG before = ticksOfSlot(2);
    HeldOpen otherApp(path(2), GENERIC_READ | GENERIC_WRITE, 0);

    const auto held = run("110");

    EXPECT_EQ(held.result, SyncResult::Failed);
    EXPECT_FALSE(held.reason.empty());
    otherApp.release();
    EXPECT_EQ(contentOf(2), "old");
    EXPECT_EQ(ticksOfSlot(2), before);
    expectNoTemporaryFiles();

    const auto released = run("110");

    EXPECT_EQ(released.result, SyncResult::Copied);
    EXPECT_EQ(released.statusPrefix, "File2 updated ");
    EXPECT_EQ(contentOf(2), "new");
    EXPECT_EQ(ticksOfSlot(2), ticksOfSlot(1));
}

TEST_F(WindowsSync, SecondTargetHeldOpenKeepsTheFirstCopy) {
    put(1, "new", kNew);
    put(2, "old two", kOld);
    put(3, "old three", kOld);
    HeldOpen otherApp(path(3), GENERIC_READ, 0);

    EXPECT_EQ(run("111").result, SyncResult::Failed);

    otherApp.release();
    EXPECT_EQ(contentOf(2), "new");
    EXPECT_EQ(contentOf(3), "old three");
    expectNoTemporaryFiles();
}

// The user made the copy read-only to protect it: the pass leaves it and says why.
TEST_F(WindowsSync, ReadOnlyTargetIsLeftAloneAndThePassSaysWhy) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    addAttributes(path(2), FILE_ATTRIBUTE_READONLY);
    const ULONGLONG before = ticksOfSlot(2);

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Failed);
    EXPECT_NE(outcome.reason.find("read-only"), std::string::npos) << outcome.reason;
    EXPECT_EQ(contentOf(2), "old");
    EXPECT_EQ(ticksOfSlot(2), before);
    EXPECT_NE(attributesOf(path(2)) & FILE_ATTRIBUTE_READONLY, 0u);
    expectNoTemporaryFiles();
}

// NTFS keeps 100 ns steps: a save within the second of the copy is carried over.
TEST_F(WindowsSync, SaveInTheSameSecondAsTheCopyIsCarriedOver) {
    writeFileAt(path(1), "first save", kNew, 123'456'700);
    put(2, "old", kOld);

    ASSERT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(run("110").result, SyncResult::Equal);

    writeFileAt(path(1), "second save", kNew, 876'543'200);
    EXPECT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "second save");
    EXPECT_EQ(ticksOfSlot(2), ticksOfSlot(1));
    EXPECT_EQ(run("110").result, SyncResult::Equal);
}

// A path longer than the system takes may still name a file: the pass fails with the
// reason instead of telling the user the file is missing.
TEST_F(WindowsSync, PathLongerThanTheSystemTakesFailsWithItsReason) {
    put(2, "old", kOld);
    auto chosen = slots("110");
    chosen[0].pathText = path(1, std::string(33'000, 'x') + "\\notes.txt");

    const auto outcome = syncSelectedFiles(chosen, fileSystem, memory);

    EXPECT_EQ(outcome.result, SyncResult::Failed) << outcome.message;
    EXPECT_FALSE(outcome.reason.empty());
    EXPECT_EQ(contentOf(2), "old");
}

// Paths past MAX_PATH characters reach the system through the "\\?\" prefix.
TEST_F(WindowsSync, FilesDeeperThanMaxPathSync) {
    std::vector<std::string> folders;  // each inside the one before, under a
    while (folders.empty() || path(1, folders.back()).size() < 300) {
        folders.push_back((folders.empty() ? "" : folders.back() + "\\") + std::string(60, 'd'));
        ASSERT_TRUE(
            ::CreateDirectoryW(toWide("\\\\?\\" + path(1, folders.back())).c_str(), nullptr));
    }
    const std::string deep = path(1, folders.back() + "\\notes.txt");
    put(2, "old", kOld);
    writeFileAt(path(2, "new.txt"), "new", kNew);
    ASSERT_TRUE(
        ::CopyFileW(toWide(path(2, "new.txt")).c_str(), toWide("\\\\?\\" + deep).c_str(), TRUE));
    auto chosen = slots("110");
    chosen[0].pathText = deep;

    const auto copied = syncSelectedFiles(chosen, fileSystem, memory);
    const auto again = syncSelectedFiles(chosen, fileSystem, memory);
    ::DeleteFileW(toWide("\\\\?\\" + deep).c_str());
    for (auto folderName = folders.rbegin(); folderName != folders.rend(); ++folderName) {
        ::RemoveDirectoryW(toWide("\\\\?\\" + path(1, *folderName)).c_str());
    }

    EXPECT_EQ(copied.result, SyncResult::Copied) << copied.reason;
    EXPECT_EQ(contentOf(2), "new");
    EXPECT_EQ(again.result, SyncResult::Equal) << again.reason;
}

TEST_F(WindowsSync, CopyCarriesTheTimeToTheHundredNanoseconds) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    setModified(path(1), kNew, 123'456'700);

    ASSERT_EQ(run("110").result, SyncResult::Copied);

    EXPECT_EQ(ticksOfSlot(2), ticksOfSlot(1));
}

TEST_F(WindowsSync, SlashAndBackslashSpellingsMix) {
    put(1, "old", kOld);
    put(2, "new", kNew);
    auto chosen = slots("110");
    std::replace(chosen[1].pathText.begin(), chosen[1].pathText.end(), '\\', '/');

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

    EXPECT_EQ(outcome.result, SyncResult::Copied);
    EXPECT_EQ(outcome.workingPaths[1], path(2));
    EXPECT_EQ(contentOf(1), "new");
}

// The file system ignores letter case, the name test does not.
TEST_F(WindowsSync, NamesDifferingOnlyInCaseAreRefused) {
    put(1, "new", kNew);
    writeFileAt(folder.file("b/NOTES.txt"), "old", kOld);
    auto chosen = slots("110");
    chosen[1].pathText = fileSystem.workingPath(folder.file("b/NOTES.txt"));

    EXPECT_EQ(syncSelectedFiles(chosen, fileSystem).message, sync::kNamesMustMatch);
    EXPECT_EQ(readFile(folder.file("b/NOTES.txt")), "old");
}

TEST_F(WindowsSync, OneFileUnderTwoSpellingsIsNotCopiedOntoItself) {
    put(1, "only", kNew);
    put(3, "old", kOld);
    auto chosen = slots("111");
    std::string shouted = path(1);
    const auto folderName = shouted.rfind("\\a\\");
    ASSERT_NE(folderName, std::string::npos);
    shouted.replace(folderName, 3, "\\A\\");
    chosen[1].pathText = shouted;

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

    EXPECT_EQ(outcome.result, SyncResult::Copied);
    EXPECT_EQ(contentOf(1), "only");
    EXPECT_EQ(contentOf(3), "only");
    expectNoTemporaryFiles();
}

}  // namespace
}  // namespace kelvane::testing
#endif
