// The settings file as Windows keeps it: the hidden, system and read-only attributes, CRLF
// line ends, the ANSI code page and UTF-16 of files that the system's profile functions
// wrote, and the user's settings folder in %APPDATA%.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "WindowsFiles.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "settings/SettingsFile.h"
#include "support/TempFolder.h"

namespace kelvane::testing {
namespace {

using settings::AppSettings;

class WindowsSettings : public ::testing::Test {
  protected:
    TempFolder folder;
    std::unique_ptr<platform::FileSystem> fileSystem = platform::makeSystemFileSystem();
    std::unique_ptr<platform::SettingsStore> settingsStore = platform::makeSystemSettingsStore();
    std::string ini =
        settings::iniFilePathFor(fileSystem->workingPath(folder.file("Kelvane.exe")), '\\');

    bool exists() { return settings::settingsFileExists(*settingsStore, ini); }

    void TearDown() override { clearAttributes(toWide(ini)); }

    static void requireWindows1252() {
        if (::GetACP() != 1252) {
            GTEST_SKIP() << "needs Windows-1252 as the ANSI code page, this system has "
                         << ::GetACP();
        }
    }
};

TEST_F(WindowsSettings, SitsBesideTheExecutable) {
    EXPECT_EQ(ini, fileSystem->workingPath(folder.file("Kelvane.ini")));
}

// Hidden and system change how Explorer shows the file, not whose settings it holds.
TEST_F(WindowsSettings, HiddenOrSystemSettingsFileIsReadLikeAnyOther) {
    writeFile(ini, "[SyncSettings]\r\nAutoSync=ON\r\n");
    for (const DWORD attributes :
         {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
          DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE}}) {
        clearAttributes(toWide(ini));
        addAttributes(ini, attributes);
        EXPECT_TRUE(exists()) << attributes;
        EXPECT_EQ(settings::loadSettings(*settingsStore, ini).AutoSync, "ON") << attributes;
    }
}

TEST_F(WindowsSettings, SaveOverAHiddenSystemFileKeepsItsAttributes) {
    writeFile(ini, "; mine\r\n[SyncSettings]\r\nAutoSync=ON\r\n");
    addAttributes(ini, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    ASSERT_TRUE(settings::saveSettings(*settingsStore, ini, AppSettings{}).ok());

    EXPECT_EQ(settings::loadSettings(*settingsStore, ini), AppSettings{});
    EXPECT_EQ(readFile(ini).rfind("; mine\r\n", 0), 0u);
    EXPECT_NE(attributesOf(ini) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_NE(attributesOf(ini) & FILE_ATTRIBUTE_SYSTEM, 0u);
    EXPECT_TRUE(exists());
}

TEST_F(WindowsSettings, ReadOnlyFileIsReadAndLeftAsItIs) {
    writeFile(ini, "[SyncSettings]\r\nAutoSync=ON\r\n");
    addAttributes(ini, FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(settings::loadSettings(*settingsStore, ini).AutoSync, "ON");
    const auto saved = settings::saveSettings(*settingsStore, ini, AppSettings{});

    EXPECT_FALSE(saved.ok());
    EXPECT_NE(saved.reason().find("read-only"), std::string::npos) << saved.reason();
    EXPECT_EQ(readFile(ini), "[SyncSettings]\r\nAutoSync=ON\r\n");
    EXPECT_NE(attributesOf(ini) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(WindowsSettings, FolderOrDeviceIsNeitherReadNorWritten) {
    folder.makeFolder("Kelvane.ini");
    for (const std::string& path : {ini, std::string("NUL"), std::string("\\\\.\\NUL")}) {
        const auto check = settings::checkSettingsFile(*settingsStore, path);
        EXPECT_FALSE(check.loadable) << path;
        EXPECT_NE(check.trouble.reason().find("not an ordinary file"), std::string::npos)
            << path << ": " << check.trouble.reason();
        EXPECT_FALSE(settings::saveSettings(*settingsStore, path, AppSettings{}).ok()) << path;
    }
}

// Windows' own profile functions keep a file in UTF-16 when it starts with the UTF-16LE
// byte order mark.
TEST_F(WindowsSettings, Utf16FileStaysUtf16) {
    const std::wstring text = L"\xFEFF[FilePathAndFileNames]\r\nFile1=C:\\\x65E5\x672C\\a.txt\r\n";
    const std::string bytes(reinterpret_cast<const char*>(text.data()), 2 * text.size());
    writeFile(ini, bytes);

    AppSettings loaded = settings::loadSettings(*settingsStore, ini);
    EXPECT_EQ(loaded.File1, "C:\\\xE6\x97\xA5\xE6\x9C\xAC\\a.txt");
    loaded.File2 = "D:\\\xCE\xA9\\a.txt";  // not in Windows-1252, kept all the same
    ASSERT_TRUE(settings::saveSettings(*settingsStore, ini, loaded).ok());

    EXPECT_EQ(readFile(ini).rfind(bytes, 0), 0u);
    EXPECT_EQ(settings::loadSettings(*settingsStore, ini), loaded);
}

// In Windows-1252 "?" would stand for the Cyrillic and Japanese letters, and the path would
// name nothing after a restart. The file turns UTF-16, and a later save of nothing but
// Windows-1252 text keeps it so, with the lines Kelvane does not know.
TEST_F(WindowsSettings, AValueTheAnsiCodePageCannotHoldTurnsTheFileUtf16ForGood) {
    requireWindows1252();
    writeFile(ini, "; caf\xE9\r\n[SyncSettings]\r\nAutoSync=ON\r\n");
    AppSettings typed;
    typed.File1 = "C:\\KT\\data\\paths\\\xD0\x96\\\xE6\x97\xA5\xE6\x9C\xAC.txt";

    ASSERT_TRUE(settings::saveSettings(*settingsStore, ini, typed).ok());

    const std::wstring head = L"\xFEFF; caf\xE9\r\n[SyncSettings]\r\n";
    const std::string utf16Head(reinterpret_cast<const char*>(head.data()), 2 * head.size());
    EXPECT_EQ(readFile(ini).rfind(utf16Head, 0), 0u);
    EXPECT_EQ(settings::loadSettings(*settingsStore, ini), typed);
    wchar_t stored[MAX_PATH] = {};
    ::GetPrivateProfileStringW(L"FilePathAndFileNames", L"File1", L"", stored, MAX_PATH,
                               toWide(ini).c_str());
    EXPECT_EQ(std::wstring(stored), L"C:\\KT\\data\\paths\\\x0416\\\x65E5\x672C.txt")
        << "the system's own profile function reads it too";

    typed.File1 = "C:\\Caf\xC3\xA9\\a.txt";
    ASSERT_TRUE(settings::saveSettings(*settingsStore, ini, typed).ok());

    EXPECT_EQ(readFile(ini).rfind(utf16Head, 0), 0u) << "still UTF-16";
    EXPECT_EQ(settings::loadSettings(*settingsStore, ini), typed);
}

// An executable in a folder the user cannot write keeps its settings in %APPDATA%.
TEST_F(WindowsSettings, UsersSettingsFolderIsInAppDataAndMadeOnTheFirstSave) {
    const std::wstring appData = toWide(fileSystem->workingPath(folder.file("Roaming")));
    std::vector<wchar_t> before(32768);
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", before.data(), 32768);
    ::SetEnvironmentVariableW(L"APPDATA", appData.c_str());

    const std::string userFolder = settingsStore->userSettingsFolder();
    const auto saved =
        settings::saveSettings(*settingsStore, userFolder + "\\Kelvane.ini", AppSettings{});

    ::SetEnvironmentVariableW(L"APPDATA", length > 0 ? before.data() : nullptr);
    EXPECT_EQ(userFolder, toUtf8(appData) + "\\Kelvane");
    ASSERT_TRUE(saved.ok()) << saved.reason();
    EXPECT_TRUE(settingsStore->canCreateFilesIn(userFolder));
    EXPECT_EQ(folder.entries("Roaming/Kelvane"), std::vector<std::string>{"Kelvane.ini"});
}

TEST_F(WindowsSettings, WrittenHereReadsBackTheSame) {
    requireWindows1252();
    AppSettings stored;
    stored.File1 =
        "C:\\Donn\xC3\xA9"
        "es\\Caf\xC3\xA9\\notes.txt";
    stored.File2 = "\\\\server\\share\\Caf\xC3\xA9\\notes.txt";
    stored.File3 = " D:/with blanks/notes.txt ";
    stored.File3_Selected = sync::Tick::Greyed;
    stored.SyncInterval = "15";
    stored.AutoSync = "ON";
    stored.LastSyncEvent = "File2 updated 3/14/2025 at 9:05:07 PM";
    stored.FormTop = -150;
    stored.FormLeft = 2400;

    ASSERT_TRUE(settings::saveSettings(*settingsStore, ini, stored).ok());

    EXPECT_EQ(settings::loadSettings(*settingsStore, ini), stored);
    const std::string bytes = readFile(ini);
    EXPECT_NE(bytes.find("File1=C:\\Donn\xE9"
                         "es\\Caf\xE9\\notes.txt\r\n"),
              std::string::npos)
        << bytes;
    EXPECT_EQ(bytes.find('\n', 0) - 1, bytes.find('\r', 0)) << "line ends are CRLF";
}

// A file as the old program left it: written by the system's profile functions in the
// ANSI code page, with CRLF line ends.
TEST_F(WindowsSettings, AnsiFileWithCrlfLineEndsLoads) {
    requireWindows1252();
    writeFile(ini,
              "[FilePathAndFileNames]\r\n"
              "File1=C:\\Donn\xE9"
              "es\\r\xE9sum\xE9.txt\r\n"
              "File2=E:\\Sauvegarde\\r\xE9sum\xE9.txt\r\n"
              "File3=\r\n"
              "[SelectedFiles]\r\n"
              "File1_Selected=1\r\n"
              "File2_Selected=1\r\n"
              "File3_Selected=0\r\n"
              "[SyncSettings]\r\n"
              "SyncInterval=30\r\n"
              "AutoSync=ON\r\n"
              "[SyncEvents]\r\n"
              "LastSyncEvent=File2 updated 14.03.2025 at 21:05:07\r\n"
              "[FormLocation]\r\n"
              "FormTop=1200\r\n"
              "FormLeft=-150\r\n");

    const AppSettings loaded = settings::loadSettings(*settingsStore, ini);

    EXPECT_EQ(loaded.File1,
              "C:\\Donn\xC3\xA9"
              "es\\r\xC3\xA9sum\xC3\xA9.txt");
    EXPECT_EQ(loaded.File2, "E:\\Sauvegarde\\r\xC3\xA9sum\xC3\xA9.txt");
    EXPECT_EQ(loaded.File3, "");
    EXPECT_EQ(loaded.File1_Selected, sync::Tick::On);
    EXPECT_EQ(loaded.File3_Selected, sync::Tick::Off);
    EXPECT_EQ(loaded.SyncInterval, "30");
    EXPECT_EQ(loaded.AutoSync, "ON");
    EXPECT_EQ(loaded.LastSyncEvent, "File2 updated 14.03.2025 at 21:05:07");
    EXPECT_EQ(loaded.FormTop, 1200);
    EXPECT_EQ(loaded.FormLeft, -150);
}

TEST_F(WindowsSettings, SaveKeepsTheCrlfOfAnOldFile) {
    writeFile(ini, "; kept\r\n[SyncSettings]\r\nAutoSync=OFF\r\n");

    ASSERT_TRUE(settings::saveSettings(*settingsStore, ini, AppSettings{}).ok());

    const std::string bytes = readFile(ini);
    EXPECT_EQ(bytes.rfind("; kept\r\n[SyncSettings]\r\n", 0), 0u) << bytes;
    for (std::size_t at = bytes.find('\n'); at != std::string::npos;
         at = bytes.find('\n', at + 1)) {
        EXPECT_EQ(bytes[at - 1], '\r') << "bare LF at " << at;
    }
}

TEST_F(WindowsSettings, SaveOverAFileHeldOpenReportsItAndKeepsTheOldOne) {
    writeFile(ini, "[SyncSettings]\r\nAutoSync=ON\r\n");
    HeldOpen editor(ini, GENERIC_READ | GENERIC_WRITE, 0);

    const auto saved = settings::saveSettings(*settingsStore, ini, AppSettings{});

    EXPECT_FALSE(saved.ok());
    editor.release();
    EXPECT_EQ(readFile(ini), "[SyncSettings]\r\nAutoSync=ON\r\n");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"Kelvane.ini"});
}

}  // namespace
}  // namespace kelvane::testing
#endif
