// The Windows file system on its own: path spelling, the existence rule with its
// attributes, 100 ns times, the safe copy against share modes and read-only files, the
// settings file's atomic write and its ANSI code page.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>

#include "WindowsFiles.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "support/TempFolder.h"

namespace kelvane::testing {
namespace {

namespace fs = std::filesystem;
using platform::FileSystem;

const platform::ReplaceTerms kWithoutKeeping{{}, false};

constexpr ULONGLONG kUnixEpochTicks = 116'444'736'000'000'000ULL;
constexpr ULONGLONG kTicksPerSecond = 10'000'000ULL;

ULONGLONG ticksAt(std::int64_t unixSeconds, ULONGLONG hundredsOfNanoseconds = 0) {
    return kUnixEpochTicks + static_cast<ULONGLONG>(unixSeconds) * kTicksPerSecond +
           hundredsOfNanoseconds;
}

class WindowsFileSystem : public ::testing::Test {
  protected:
    TempFolder folder;
    std::unique_ptr<FileSystem> system = platform::makeSystemFileSystem();
    std::unique_ptr<platform::SettingsStore> settingsStore = platform::makeSystemSettingsStore();

    // A file in the temporary folder, in the system's spelling.
    std::string file(const std::string& name, const std::string& content = "content") {
        const std::string path = system->workingPath(folder.file(name));
        writeFile(path, content);
        return path;
    }

    bool present(const std::string& path) {
        auto found = system->findOrdinaryFile(path);
        EXPECT_TRUE(found.ok()) << found.reason();
        return found.ok() && found.value().has_value();
    }

    void expectNoTemporaryFiles() {
        for (const auto& name : folder.entries()) {
            EXPECT_EQ(name.find(".kelvane-"), std::string::npos) << name;
        }
    }

    void TearDown() override {
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            clearAttributes(entry.path());
        }
    }
};

// ---- Paths ----------------------------------------------------------------------

TEST_F(WindowsFileSystem, WorkingPathTurnsEverySlashIntoABackslashAndNothingElse) {
    EXPECT_EQ(system->workingPath("C:/Data/Notes.txt"), "C:\\Data\\Notes.txt");
    EXPECT_EQ(system->workingPath("//server/share/notes.txt"), "\\\\server\\share\\notes.txt");
    EXPECT_EQ(system->workingPath(" D:/Mixed\\Case/ notes.TXT "), " D:\\Mixed\\Case\\ notes.TXT ");
    EXPECT_EQ(system->workingPath(""), "");
}

struct NameCase {
    const char* path;
    const char* name;
};

class FileNameOfPath : public WindowsFileSystem, public ::testing::WithParamInterface<NameCase> {};

TEST_P(FileNameOfPath, IsTheLastComponentWithoutADrivePrefix) {
    EXPECT_EQ(system->fileName(GetParam().path), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    DriveLetterAndUncShapes, FileNameOfPath,
    ::testing::Values(NameCase{"C:\\folder\\notes.txt", "notes.txt"},
                      NameCase{"C:notes.txt", "notes.txt"}, NameCase{"C:", ""},
                      NameCase{"D:\\", ""},
                      NameCase{"\\\\server\\share\\folder\\notes.txt", "notes.txt"},
                      NameCase{"\\\\?\\C:\\folder\\notes.txt", "notes.txt"},
                      NameCase{"\\\\?\\UNC\\server\\share\\notes.txt", "notes.txt"},
                      NameCase{"notes.txt", "notes.txt"},
                      NameCase{"folder\\Notes.TXT", "Notes.TXT"},
                      NameCase{"C:\\folder\\no extension", "no extension"}));

TEST_F(WindowsFileSystem, NewSettingsFilesUseCarriageReturnLineFeed) {
    EXPECT_EQ(settingsStore->nativeLineEnd(), "\r\n");
}

// ---- Existence -------------------------------------------------------------------

TEST_F(WindowsFileSystem, OrdinaryAndReadOnlyFilesArePresent) {
    const std::string plain = file("plain.txt");
    const std::string readOnly = file("read-only.txt");
    addAttributes(readOnly, FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(present(plain));
    EXPECT_TRUE(present(readOnly));
}

TEST_F(WindowsFileSystem, HiddenAndSystemFilesCountAsMissing) {
    const std::string hidden = file("hidden.txt");
    const std::string systemFile = file("system.txt");
    const std::string both = file("both.txt");
    addAttributes(hidden, FILE_ATTRIBUTE_HIDDEN);
    addAttributes(systemFile, FILE_ATTRIBUTE_SYSTEM);
    addAttributes(both, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);

    EXPECT_FALSE(present(hidden));
    EXPECT_FALSE(present(systemFile));
    EXPECT_FALSE(present(both));
}

TEST_F(WindowsFileSystem, FoldersDevicesAndNothingCountAsMissing) {
    const std::string plain = file("plain.txt");
    folder.makeFolder("sub");

    EXPECT_FALSE(present(system->workingPath(folder.file("sub"))));
    EXPECT_FALSE(present(system->workingPath(folder.file("absent.txt"))));
    EXPECT_FALSE(present(system->workingPath(folder.file("no folder/absent.txt"))));
    EXPECT_FALSE(present(plain + "\\below a file.txt"));
    EXPECT_FALSE(present("NUL"));
}

TEST_F(WindowsFileSystem, NamesOutsideTheAnsiCodePageWork) {
    const std::string name =
        "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\x97\xA5\xE6\x9C\xAC.txt";
    const std::string path = toUtf8(folder.path().wstring() + L"\\" + toWide(name));
    HANDLE created = ::CreateFileW(toWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    ::CloseHandle(created);

    EXPECT_TRUE(present(path));
    EXPECT_EQ(system->fileName(path), name);
    const std::string copy = toUtf8(folder.path().wstring() + L"\\" + toWide("copy " + name));
    EXPECT_TRUE(settingsStore->writeFileAtomically(copy, "x").ok());
    EXPECT_TRUE(system->replaceWithCopy(copy, path, kWithoutKeeping).ok());
}

// ---- Times and identity -----------------------------------------------------------

TEST_F(WindowsFileSystem, TimesKeepTheirHundredNanosecondSteps) {
    const std::string path = file("notes.txt");
    setWriteTime(path, ticksAt(1'700'000'000, 1'234'567));

    auto found = system->findOrdinaryFile(path);

    ASSERT_TRUE(found.ok() && found.value());
    EXPECT_EQ(found.value()->modified.seconds, 1'700'000'000);
    EXPECT_EQ(found.value()->modified.nanoseconds, 123'456'700);
}

TEST_F(WindowsFileSystem, TimesBefore1970RoundDown) {
    const std::string path = file("notes.txt");
    setWriteTime(path, kUnixEpochTicks - kTicksPerSecond / 2);

    auto found = system->findOrdinaryFile(path);

    ASSERT_TRUE(found.ok() && found.value());
    EXPECT_EQ(found.value()->modified.seconds, -1);
    EXPECT_EQ(found.value()->modified.nanoseconds, 500'000'000);
}

TEST_F(WindowsFileSystem, OneFileHasOneIdentityWhateverItsSpelling) {
    const std::string path = file("notes.txt");
    const std::string other = file("other.txt");
    std::string shouted = path;
    for (char& c : shouted) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string slashed = path;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');

    const auto identity = [&](const std::string& p) { return system->identityOf(p); };

    EXPECT_EQ(identity(path), identity(shouted));
    EXPECT_EQ(identity(path), identity(slashed));
    EXPECT_FALSE(identity(path) == identity(other));
}

TEST_F(WindowsFileSystem, OrdinaryVolumesKeepFineTimes) {
    EXPECT_FALSE(system->hasCoarseTimes(file("notes.txt")));
    EXPECT_FALSE(system->hasCoarseTimes("Q:\\no such drive\\notes.txt"));
}

// ---- Safe copy ---------------------------------------------------------------------

// Each case runs twice: with the system's replace-file call, and with the plain move used
// where a file system does not support that call. The refusals keep replaced copies as
// the program does (nothing is kept of a target that is refused); the other cases leave
// keeping to WindowsKeptCopyTest.
class WindowsCopy : public WindowsFileSystem, public ::testing::WithParamInterface<bool> {
  protected:
    std::string source;
    std::string target;
    ULONGLONG sourceTicks = ticksAt(1'700'000'000, 4'321);
    ULONGLONG targetTicks = ticksAt(1'600'000'000, 99);

    void SetUp() override {
        const bool systemReplace = GetParam();
        system = systemReplace ? platform::makeSystemFileSystem()
                               : platform::makeFileSystemWithPlainMoves();
        folder.makeFolder("from");
        folder.makeFolder("to");
        source = file("from/notes.txt", "new content");
        target = file("to/notes.txt", "old");
        setWriteTime(source, sourceTicks);
        setWriteTime(target, targetTicks);
    }

    void TearDown() override {
        for (const char* sub : {"from", "to"}) {
            for (const auto& entry : fs::directory_iterator(folder.path() / sub)) {
                clearAttributes(entry.path());
            }
        }
    }

    void expectTargetUntouched() {
        EXPECT_EQ(readFile(target), "old");
        EXPECT_EQ(ticksOf(writeTimeOf(target)), targetTicks);
        for (const auto& name : folder.entries("to")) {
            EXPECT_EQ(name.find(".kelvane-"), std::string::npos) << name;
        }
    }
};

TEST_P(WindowsCopy, CarriesContentAndTheExactTime) {
    ASSERT_TRUE(system->replaceWithCopy(source, target, kWithoutKeeping).ok());

    EXPECT_EQ(readFile(target), "new content");
    EXPECT_EQ(ticksOf(writeTimeOf(target)), sourceTicks);
    EXPECT_EQ(folder.entries("to"), std::vector<std::string>{"notes.txt"});
}

TEST_P(WindowsCopy, TargetKeepsItsCreationTime) {
    const FILETIME born{0x12345600, 0x01D00000};
    WIN32_FILE_ATTRIBUTE_DATA before{};
    if (!setTimes(target, &born, nullptr) ||
        !::GetFileAttributesExW(toWide(target).c_str(), GetFileExInfoStandard, &before) ||
        ticksOf(before.ftCreationTime) != ticksOf(born)) {
        GTEST_SKIP() << "this file system keeps no creation time (Wine on Linux)";
    }

    ASSERT_TRUE(system->replaceWithCopy(source, target, kWithoutKeeping).ok());

    WIN32_FILE_ATTRIBUTE_DATA after{};
    ::GetFileAttributesExW(toWide(target).c_str(), GetFileExInfoStandard, &after);
    EXPECT_EQ(ticksOf(after.ftCreationTime), ticksOf(before.ftCreationTime));
}

// A read-only copy is the user's protection: it is left as it is, and the copy says why,
// as it does on Linux for a file without write permission.
TEST_P(WindowsCopy, ReadOnlyTargetIsLeftAsItWas) {
    addAttributes(target, FILE_ATTRIBUTE_READONLY);

    const auto copied = system->replaceWithCopy(source, target, {});

    EXPECT_FALSE(copied.ok());
    EXPECT_NE(copied.reason().find("read-only"), std::string::npos) << copied.reason();
    expectTargetUntouched();
    EXPECT_NE(attributesOf(target) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_P(WindowsCopy, TargetKeepsItsHiddenAttribute) {
    addAttributes(target, FILE_ATTRIBUTE_HIDDEN);

    const auto copied = system->replaceWithCopy(source, target, kWithoutKeeping);

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_NE(attributesOf(target) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(folder.entries("to"), std::vector<std::string>{"notes.txt"});
}

TEST_P(WindowsCopy, HardLinkedTargetIsNotSplit) {
    const std::string otherName = system->workingPath(folder.file("to/other name.txt"));
    if (!::CreateHardLinkW(toWide(otherName).c_str(), toWide(target).c_str(), nullptr)) {
        GTEST_SKIP() << "hard links cannot be made here (error " << ::GetLastError() << ")";
    }

    const auto copied = system->replaceWithCopy(source, target, {});

    EXPECT_FALSE(copied.ok());
    EXPECT_NE(copied.reason().find("hard links"), std::string::npos) << copied.reason();
    expectTargetUntouched();
    EXPECT_EQ(readFile(otherName), "old");
}

// The temporary name is cut so that any name the file system takes can be synced.
TEST_P(WindowsCopy, LongestNamesAreCopied) {
    const std::string name = std::string(251, 'n') + ".txt";
    const std::string from = file("from/" + name, "new content");
    const std::string to = file("to/" + name, "old");

    const auto copied = system->replaceWithCopy(from, to, kWithoutKeeping);

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(readFile(to), "new content");
    EXPECT_EQ(folder.entries("to"), (std::vector<std::string>{name, "notes.txt"}));
}

// Once the copy is in place, its time is read back for the pass to judge.
TEST_P(WindowsCopy, ReportsTheTimeTheTargetShows) {
    const auto copied = system->replaceWithCopy(source, target, kWithoutKeeping);

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(copied.value().source, copied.value().target);
    EXPECT_EQ(copied.value().target.nanoseconds, 432'100);
}

TEST_P(WindowsCopy, ReadOnlySourceIsCopiedAndTheTargetStaysWritable) {
    addAttributes(source, FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(system->replaceWithCopy(source, target, kWithoutKeeping).ok());

    EXPECT_EQ(readFile(target), "new content");
    EXPECT_EQ(attributesOf(target) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_P(WindowsCopy, TargetHeldOpenWithoutSharingFailsAndStaysAsItWas) {
    HeldOpen otherApp(target, GENERIC_READ | GENERIC_WRITE, 0);

    const auto copied = system->replaceWithCopy(source, target, kWithoutKeeping);

    EXPECT_FALSE(copied.ok());
    EXPECT_NE(copied.reason().find("notes.txt"), std::string::npos) << copied.reason();
    otherApp.release();
    expectTargetUntouched();
}

TEST_P(WindowsCopy, ReadOnlyTargetHeldOpenFailsAndStaysReadOnly) {
    addAttributes(target, FILE_ATTRIBUTE_READONLY);
    HeldOpen otherApp(target, GENERIC_READ, 0);

    EXPECT_FALSE(system->replaceWithCopy(source, target, kWithoutKeeping).ok());

    otherApp.release();
    expectTargetUntouched();
    EXPECT_NE(attributesOf(target) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_P(WindowsCopy, SourceBeingWrittenByAnotherAppFails) {
    HeldOpen writer(source, GENERIC_WRITE, FILE_SHARE_READ);

    EXPECT_FALSE(system->replaceWithCopy(source, target, kWithoutKeeping).ok());

    writer.release();
    expectTargetUntouched();
}

TEST_P(WindowsCopy, SourceOpenForReadingElsewhereIsStillCopied) {
    HeldOpen reader(source, GENERIC_READ, FILE_SHARE_READ);

    EXPECT_TRUE(system->replaceWithCopy(source, target, kWithoutKeeping).ok());
    EXPECT_EQ(readFile(target), "new content");
}

TEST_P(WindowsCopy, MissingSourceFailsCleanly) {
    EXPECT_FALSE(system->replaceWithCopy(source + ".gone", target, kWithoutKeeping).ok());
    expectTargetUntouched();
}

TEST_P(WindowsCopy, LeftoversOfDeadWritersAreRemovedOthersKept) {
    const std::string dead =
        system->workingPath(folder.file("to/.notes.txt.kelvane-999999992-abc.tmp"));
    const std::string deadReadOnly =
        system->workingPath(folder.file("to/.notes.txt.kelvane-999999994-def.tmp"));
    const std::string notOurs = system->workingPath(folder.file("to/.notes.txt.kelvane-x.tmp"));
    writeFile(dead, "partial");
    writeFile(deadReadOnly, "partial");
    addAttributes(deadReadOnly, FILE_ATTRIBUTE_READONLY);
    writeFile(notOurs, "someone else's");

    ASSERT_TRUE(system->replaceWithCopy(source, target, kWithoutKeeping).ok());

    EXPECT_EQ(folder.entries("to"),
              (std::vector<std::string>{".notes.txt.kelvane-x.tmp", "notes.txt"}));
}

TEST_P(WindowsCopy, SymbolicLinkTargetKeepsTheLink) {
    const std::string real = file("to/real.txt", "old");
    const std::string link = system->workingPath(folder.file("to/link.txt"));
    if (!::CreateSymbolicLinkW(toWide(link).c_str(), toWide(real).c_str(), 0)) {
        GTEST_SKIP() << "symbolic links cannot be made here (error " << ::GetLastError() << ")";
    }
    if ((attributesOf(link) & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || readFile(link) != "old") {
        GTEST_SKIP() << "symbolic links here do not work as on Windows (Wine)";
    }

    ASSERT_TRUE(system->replaceWithCopy(source, link, kWithoutKeeping).ok());

    EXPECT_EQ(readFile(real), "new content");
    EXPECT_NE(attributesOf(link) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

std::optional<LONGLONG> changeTimeOf(const std::string& path) {
    HANDLE file = ::CreateFileW(toWide(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    FILE_BASIC_INFO basic{};
    const bool known = file != INVALID_HANDLE_VALUE &&
                       ::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic);
    ::CloseHandle(file);
    return known ? std::optional<LONGLONG>(basic.ChangeTime.QuadPart) : std::nullopt;
}

// True once setting the time has moved the change time, tried until the clock has
// ticked past the last change (a few milliseconds on Linux under Wine).
bool settingTheTimeMovesTheChangeTime(const std::string& path, ULONGLONG ticks) {
    const auto before = changeTimeOf(path);
    for (int attempt = 0; before && attempt < 100'000; ++attempt) {
        setWriteTime(path, ticks);
        if (changeTimeOf(path) != before) {
            return true;
        }
    }
    return false;
}

// No other program may write the source while it is copied (the share mode); a share
// that lets another system write anyway may still see a rewrite that puts the old time
// back, which only the change time tells. Putting the time back alone moves it too.
TEST_P(WindowsCopy, SourceWhoseChangeTimeMovesDuringTheCopyIsNotInstalled) {
    const std::string content(3 << 20, 'n');
    writeFile(source, content);
    setWriteTime(source, sourceTicks);
    if (!settingTheTimeMovesTheChangeTime(source, sourceTicks)) {
        GTEST_SKIP() << "this system reports no change time that setting a time moves";
    }
    bool writeRefused = false;
    bool touched = false;
    const auto touchMidway = [&](std::uint64_t copied, std::uint64_t) {
        if (copied > 0 && !touched) {
            touched = true;
            HANDLE writer = ::CreateFileW(toWide(source).c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
            writeRefused =
                writer == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION;
            ::CloseHandle(writer);
            settingTheTimeMovesTheChangeTime(source, sourceTicks);
        }
        return true;
    };

    const auto copied = system->replaceWithCopy(source, target, kWithoutKeeping, touchMidway);

    EXPECT_TRUE(writeRefused);
    EXPECT_FALSE(copied.ok());
    EXPECT_NE(copied.reason().find("changed while it was copied"), std::string::npos)
        << copied.reason();
    expectTargetUntouched();
    ASSERT_TRUE(system->replaceWithCopy(source, target, kWithoutKeeping).ok());
    EXPECT_TRUE(readFile(target) == content);
}

ULONGLONG allocatedBytesOf(const std::string& path) {
    DWORD high = 0;
    const DWORD low = ::GetCompressedFileSizeW(toWide(path).c_str(), &high);
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

// Two data ranges in a 16 MiB file that ends in a hole.
bool writeSparseFile(const std::string& path) {
    HANDLE file = ::CreateFileW(toWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD returned = 0;
    bool made =
        file != INVALID_HANDLE_VALUE &&
        ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    const std::string data(1 << 20, 'd');
    for (const LONGLONG at : {LONGLONG{0}, LONGLONG{6} << 20}) {
        LARGE_INTEGER position;
        position.QuadPart = at;
        DWORD written = 0;
        made = made && ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
               ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    }
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG{16} << 20;
    made = made && ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    ::CloseHandle(file);
    return made;
}

bool answersAllocatedRanges(const std::string& path) {
    HANDLE file = ::CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    FILE_ALLOCATED_RANGE_BUFFER query{};
    query.Length.QuadPart = LONGLONG{16} << 20;
    FILE_ALLOCATED_RANGE_BUFFER ranges[8];
    DWORD returned = 0;
    const bool answered =
        ::DeviceIoControl(file, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, ranges,
                          sizeof ranges, &returned, nullptr) != FALSE;
    ::CloseHandle(file);
    return answered && returned > 0;
}

// Where the system has no sparse files the copy is a plain one and still whole.
TEST_P(WindowsCopy, SparseSourceKeepsItsHoles) {
    const bool sparse = writeSparseFile(source);
    setWriteTime(source, sourceTicks);

    const auto copied = system->replaceWithCopy(source, target, kWithoutKeeping);

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_TRUE(readFile(target) == readFile(source));
    EXPECT_EQ(ticksOf(writeTimeOf(target)), sourceTicks);
    const bool marked = (attributesOf(source) & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
    const bool listed = answersAllocatedRanges(source);
    if (!sparse || !marked || !listed) {
        GTEST_SKIP() << "this system keeps no sparse files: FSCTL_SET_SPARSE "
                     << (sparse ? "taken" : "refused") << ", the sparse attribute "
                     << (marked ? "shown" : "not shown") << ", FSCTL_QUERY_ALLOCATED_RANGES "
                     << (listed ? "answered" : "not answered");
    }
    EXPECT_NE(attributesOf(target) & FILE_ATTRIBUTE_SPARSE_FILE, 0u);
    EXPECT_LE(allocatedBytesOf(target), allocatedBytesOf(source) + (1u << 20));
}

INSTANTIATE_TEST_SUITE_P(BothWays, WindowsCopy, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "ReplaceFile" : "PlainMove");
});

// ---- The settings file's bytes -----------------------------------------------------

TEST_F(WindowsFileSystem, AtomicWriteCreatesAndReplaces) {
    const std::string path = system->workingPath(folder.file("Kelvane.ini"));

    ASSERT_TRUE(settingsStore->writeFileAtomically(path, "[A]\r\nx=1\r\n").ok());
    ASSERT_TRUE(settingsStore->writeFileAtomically(path, "[A]\r\nx=2\r\n").ok());

    auto read = settingsStore->readFile(path, 1 << 20);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value(), "[A]\r\nx=2\r\n");
    expectNoTemporaryFiles();
}

TEST_F(WindowsFileSystem, AtomicWriteKeepsReadOnlyAndHiddenAttributes) {
    const std::string path = file("Kelvane.ini", "old");
    addAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    ASSERT_TRUE(settingsStore->writeFileAtomically(path, "new").ok());

    EXPECT_EQ(readFile(path), "new");
    EXPECT_NE(attributesOf(path) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(attributesOf(path) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(WindowsFileSystem, AtomicWriteOverAFileHeldOpenFailsAndKeepsTheOldContent) {
    const std::string path = file("Kelvane.ini", "old");
    HeldOpen editor(path, GENERIC_READ | GENERIC_WRITE, 0);

    EXPECT_FALSE(settingsStore->writeFileAtomically(path, "new").ok());

    editor.release();
    EXPECT_EQ(readFile(path), "old");
    expectNoTemporaryFiles();
}

TEST_F(WindowsFileSystem, AtomicWriteIntoAMissingFolderFails) {
    EXPECT_FALSE(
        settingsStore
            ->writeFileAtomically(system->workingPath(folder.file("none/Kelvane.ini")), "x")
            .ok());
}

TEST_F(WindowsFileSystem, ProfileBytesUseTheAnsiCodePage) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "needs Windows-1252 as the ANSI code page, this system has " << ::GetACP();
    }
    const std::string utf8 = "Caf\xC3\xA9 Z\xC3\xBCrich \xE2\x82\xAC";
    const std::string ansi = "Caf\xE9 Z\xFCrich \x80";

    EXPECT_EQ(settingsStore->toProfileBytes(utf8), ansi);
    EXPECT_EQ(settingsStore->fromProfileBytes(ansi), utf8);
    EXPECT_EQ(settingsStore->toProfileBytes("\xCE\xA9"), "?");  // not in the code page: lost
    EXPECT_EQ(settingsStore->toProfileBytes(""), "");
}

}  // namespace
}  // namespace kelvane::testing
#endif
