// What a copy keeps of the content it replaces on Windows: the Recycle Bin (which Wine
// keeps in the freedesktop.org trash of $XDG_DATA_HOME), the hidden folder beside the file
// where a volume has no bin, a target that changed meanwhile, and keeping switched off.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "WindowsFiles.h"
#include "platform/FileSystem.h"
#include "platform/ReplacedCopies.h"
#include "platform/WindowsReplace.h"
#include "support/TempFolder.h"

namespace kelvane::testing {
namespace {

namespace fs = std::filesystem;
using platform::KeptCopy;
using platform::ReplaceTerms;

// Under Wine, the files of the Recycle Bin as the Linux side keeps them; empty elsewhere.
fs::path wineTrashFiles() {
    wchar_t data[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"XDG_DATA_HOME", data, MAX_PATH);
    if (length == 0 || length >= MAX_PATH ||
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr) {
        return {};
    }
    std::wstring path = L"Z:" + std::wstring(data, length) + L"/Trash/files";
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// The names in a folder, sorted; with `onlyCopiesOfNotes`, notes.txt's replaced copies.
std::vector<std::string> entriesOf(const fs::path& folder, bool onlyCopiesOfNotes = false) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = toUtf8(entry.path().filename().wstring());
        if (!onlyCopiesOfNotes || platform::isReplacedCopyOf(name, "notes.txt")) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> replacedCopiesIn(const fs::path& folder) {
    return entriesOf(folder, true);
}

class WindowsKeptCopy : public ::testing::Test {
  protected:
    TempFolder folder;
    std::unique_ptr<platform::FileSystem> system = platform::makeSystemFileSystem();
    std::string source;
    std::string target;
    ULONGLONG targetTicks = 0;

    void SetUp() override {
        folder.makeFolder("from");
        folder.makeFolder("to");
        source = system->workingPath(folder.file("from/notes.txt"));
        target = system->workingPath(folder.file("to/notes.txt"));
        writeFile(source, "new content");
        writeFile(target, "old");
        targetTicks = ticksOf(writeTimeOf(target));
    }

    fs::path keptFolder() const { return folder.path() / "to" / ".kelvane-replaced"; }

    platform::FileStamp targetStamp() { return *system->findOrdinaryFile(target).value(); }
};

TEST_F(WindowsKeptCopy, ReplacedContentGoesToTheRecycleBinUnderItsReplacedName) {
    const fs::path trash = wineTrashFiles();
    const auto before = entriesOf(trash);

    const auto copied = system->replaceWithCopy(source, target, {});

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(copied.value().kept.place, KeptCopy::Place::RecycleBin);
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_EQ(folder.entries("to"), std::vector<std::string>{"notes.txt"});
    if (trash.empty()) {
        GTEST_SKIP() << "the Recycle Bin's files are read only under Wine";
    }
    // Wine gives a name that is taken in the trash a number of its own.
    auto after = entriesOf(trash);
    ASSERT_EQ(after.size(), before.size() + 1);
    const auto added = std::find_if(after.begin(), after.end(), [&](const std::string& name) {
        return std::find(before.begin(), before.end(), name) == before.end();
    });
    EXPECT_EQ(readFile(toUtf8((trash / toWide(*added)).wstring())), "old");
}

TEST_F(WindowsKeptCopy, NothingIsKeptWhenKeepingIsOff) {
    const auto before = entriesOf(wineTrashFiles());

    const auto copied = system->replaceWithCopy(source, target, ReplaceTerms{{}, false});

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(copied.value().kept.place, KeptCopy::Place::Nowhere);
    EXPECT_EQ(folder.entries("to"), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(entriesOf(wineTrashFiles()), before);
}

// The target as the pass compared it is what may be replaced; a save made meanwhile stays.
TEST_F(WindowsKeptCopy, TargetThatChangedSinceItWasComparedIsLeftAlone) {
    ReplaceTerms terms{targetStamp(), true};
    writeFile(target, "edited meanwhile");
    setWriteTime(target, targetTicks);  // the same time, another size
    ReplaceTerms sameSizeNewTime{targetStamp(), true};
    sameSizeNewTime.expectedTarget->modified.nanoseconds += 100;

    for (const ReplaceTerms& stale : {terms, sameSizeNewTime}) {
        const auto copied = system->replaceWithCopy(source, target, stale);

        ASSERT_FALSE(copied.ok());
        EXPECT_EQ(copied.reason().rfind(platform::kTargetChangedMeanwhile, 0), 0u)
            << copied.reason();
        EXPECT_EQ(readFile(target), "edited meanwhile");
        EXPECT_EQ(folder.entries("to"), std::vector<std::string>{"notes.txt"});
    }
    EXPECT_TRUE(system->replaceWithCopy(source, target, ReplaceTerms{targetStamp(), true}).ok());
    EXPECT_EQ(readFile(target), "new content");
}

// As on a removable drive or a network share.
TEST_F(WindowsKeptCopy, FolderBesideTheFileKeepsItsNewestTenAndNothingElseGoes) {
    system = platform::windows::makeFileSystemKeepingInFolders();
    fs::create_directory(keptFolder());
    const std::string kept = toUtf8(keptFolder().wstring());
    writeFile(kept + "\\notes (replaced 2001-01-01 000000).txt", "oldest, ours");
    writeFile(kept + "\\notes (mine).txt", "the user's");
    writeFile(kept + "\\other (replaced 2001-01-01 000000).txt", "another file's");

    for (int copy = 1; copy <= 11; ++copy) {
        writeFile(target, "old " + std::to_string(copy));
        const auto copied = system->replaceWithCopy(source, target, {});
        ASSERT_TRUE(copied.ok()) << copied.reason();
        EXPECT_EQ(copied.value().kept.place, KeptCopy::Place::Folder);
        EXPECT_EQ(copied.value().kept.folder, kept);
    }

    const auto copies = replacedCopiesIn(keptFolder());
    ASSERT_EQ(copies.size(), platform::kKeptPerFile);
    EXPECT_EQ(copies.front().rfind("notes (replaced 2001", 0), std::string::npos);
    std::vector<std::string> contents;
    for (const auto& name : copies) {
        contents.push_back(readFile(kept + "\\" + name));
    }
    EXPECT_NE(std::find(contents.begin(), contents.end(), "old 11"), contents.end());
    EXPECT_EQ(std::find(contents.begin(), contents.end(), "old 1"), contents.end());
    EXPECT_EQ(readFile(kept + "\\notes (mine).txt"), "the user's");
    EXPECT_EQ(readFile(kept + "\\other (replaced 2001-01-01 000000).txt"), "another file's");
    EXPECT_NE(attributesOf(kept) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(folder.entries("to"), (std::vector<std::string>{".kelvane-replaced", "notes.txt"}));
}

// scripts/test-windows.sh gives Wine a removable drive and names it here; a real
// Windows machine's sticks are never written by the tests.
TEST_F(WindowsKeptCopy, CopyOntoARemovableDriveKeepsTheOldContentBesideTheFile) {
    wchar_t drive[8];
    const DWORD length = ::GetEnvironmentVariableW(L"KELVANE_TEST_REMOVABLE_DRIVE", drive, 8);
    if (length == 0 || length >= 8) {
        GTEST_SKIP() << "no removable drive for tests (KELVANE_TEST_REMOVABLE_DRIVE)";
    }
    const fs::path stick = fs::path(std::wstring(drive, length) + L"\\") / folder.path().filename();
    ASSERT_EQ(::GetDriveTypeW(stick.root_path().c_str()), static_cast<UINT>(DRIVE_REMOVABLE));
    fs::create_directories(stick);
    const std::string onStick = toUtf8((stick / L"notes.txt").wstring());
    writeFile(onStick, "old on the stick");
    const auto trashBefore = entriesOf(wineTrashFiles());

    const auto copied = system->replaceWithCopy(source, onStick, {});

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(copied.value().kept.place, KeptCopy::Place::Folder);
    const auto kept = replacedCopiesIn(stick / L".kelvane-replaced");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readFile(toUtf8((stick / L".kelvane-replaced" / toWide(kept[0])).wstring())),
              "old on the stick");
    EXPECT_EQ(readFile(onStick), "new content");
    EXPECT_EQ(entriesOf(wineTrashFiles()), trashBefore);
    fs::remove_all(stick);
}

TEST_F(WindowsKeptCopy, CopyThatCannotBeKeptLeavesTheTargetAsItWas) {
    system = platform::windows::makeFileSystemKeepingInFolders();
    writeFile(toUtf8(keptFolder().wstring()), "a file where the folder would go");

    const auto copied = system->replaceWithCopy(source, target, {});

    ASSERT_FALSE(copied.ok());
    EXPECT_NE(copied.reason().find("Cannot keep"), std::string::npos) << copied.reason();
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(ticksOf(writeTimeOf(target)), targetTicks);
    EXPECT_EQ(folder.entries("to"), (std::vector<std::string>{".kelvane-replaced", "notes.txt"}));
}

// A pass killed after it gave the target a second name and before its install leaves
// that name; the next pass removes it (it holds only the target) and copies as usual. A
// replaced copy that is a file of its own, say one restored from the bin, stays.
TEST_F(WindowsKeptCopy, NamesAKilledPassLeftAreClearedAndTheNextPassCopies) {
    const std::string besideLink =
        system->workingPath(folder.file("to/notes (replaced 2026-01-01 000000).txt"));
    const std::string restored =
        system->workingPath(folder.file("to/notes (replaced 2025-01-01 000000).txt"));
    fs::create_directory(keptFolder());
    const std::string folderLink =
        toUtf8(keptFolder().wstring()) + "\\notes (replaced 2026-01-01 000001).txt";
    writeFile(restored, "restored by the user");
    if (!::CreateHardLinkW(toWide(besideLink).c_str(), toWide(target).c_str(), nullptr) ||
        !::CreateHardLinkW(toWide(folderLink).c_str(), toWide(target).c_str(), nullptr)) {
        GTEST_SKIP() << "hard links cannot be made here (error " << ::GetLastError() << ")";
    }

    const auto copied = system->replaceWithCopy(source, target, {});

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_EQ(replacedCopiesIn(folder.path() / "to"),
              std::vector<std::string>{"notes (replaced 2025-01-01 000000).txt"});
    EXPECT_TRUE(replacedCopiesIn(keptFolder()).empty());
}

}  // namespace
}  // namespace kelvane::testing
#endif
