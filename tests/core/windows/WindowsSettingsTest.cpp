// The settings file as Windows keeps it: the hidden and system attributes, CRLF line ends
// and the ANSI code page of files that the system's profile functions wrote.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <memory>

#include "WindowsFiles.h"
#include "platform/FileSystem.h"
#include "settings/SettingsFile.h"
#include "support/TempFolder.h"

namespace kelvane::testing {
namespace {

using settings::AppSettings;

class WindowsSettings : public ::testing::Test {
  protected:
    TempFolder folder;
    std::unique_ptr<platform::FileSystem> fileSystem = platform::makeSystemFileSystem();
    std::string ini =
        settings::iniFilePathFor(fileSystem->workingPath(folder.file("Kelvane.exe")), '\\');

    bool exists() { return settings::SettingsFileExists(*fileSystem, ini); }

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

TEST_F(WindowsSettings, HiddenOrSystemSettingsFileCountsAsMissing) {
    writeFile(ini, "[SyncSettings]\r\nAutoSync=ON\r\n");
    ASSERT_TRUE(exists());

    addAttributes(ini, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(exists());

    clearAttributes(toWide(ini));
    addAttributes(ini, FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(exists());

    clearAttributes(toWide(ini));
    addAttributes(ini, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(exists());
}

// As with the system's profile functions, a save goes into the hidden file (which then
// still counts as missing at the next start).
TEST_F(WindowsSettings, SaveOverAHiddenFileWritesItsKeys) {
    writeFile(ini, "[SyncSettings]\r\nAutoSync=ON\r\n");
    addAttributes(ini, FILE_ATTRIBUTE_HIDDEN);

    ASSERT_TRUE(settings::SaveSettingsToINI(*fileSystem, ini, AppSettings{}).ok());

    EXPECT_EQ(settings::LoadSettingsFromINI(*fileSystem, ini), AppSettings{});
    EXPECT_FALSE(exists());
}

TEST_F(WindowsSettings, WrittenHereReadsBackTheSame) {
    requireWindows1252();
    AppSettings stored;
    stored.File1 =
        "C:\\Donn\xC3\xA9"
        "es\\Caf\xC3\xA9\\notes.txt";
    stored.File2 = "\\\\server\\share\\Caf\xC3\xA9\\notes.txt";
    stored.File3 = " D:/with blanks/notes.txt ";
    stored.File3_Selected = 2;
    stored.SyncInterval = "15";
    stored.AutoSync = "ON";
    stored.LastSyncEvent = "File2 updated 3/14/2025 at 9:05:07 PM";
    stored.FormTop = -150;
    stored.FormLeft = 2400;

    ASSERT_TRUE(settings::SaveSettingsToINI(*fileSystem, ini, stored).ok());

    EXPECT_EQ(settings::LoadSettingsFromINI(*fileSystem, ini), stored);
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

    const AppSettings loaded = settings::LoadSettingsFromINI(*fileSystem, ini);

    EXPECT_EQ(loaded.File1,
              "C:\\Donn\xC3\xA9"
              "es\\r\xC3\xA9sum\xC3\xA9.txt");
    EXPECT_EQ(loaded.File2, "E:\\Sauvegarde\\r\xC3\xA9sum\xC3\xA9.txt");
    EXPECT_EQ(loaded.File3, "");
    EXPECT_EQ(loaded.File1_Selected, 1);
    EXPECT_EQ(loaded.File3_Selected, 0);
    EXPECT_EQ(loaded.SyncInterval, "30");
    EXPECT_EQ(loaded.AutoSync, "ON");
    EXPECT_EQ(loaded.LastSyncEvent, "File2 updated 14.03.2025 at 21:05:07");
    EXPECT_EQ(loaded.FormTop, 1200);
    EXPECT_EQ(loaded.FormLeft, -150);
}

TEST_F(WindowsSettings, SaveKeepsTheCrlfOfAnOldFile) {
    writeFile(ini, "; kept\r\n[SyncSettings]\r\nAutoSync=OFF\r\n");

    ASSERT_TRUE(settings::SaveSettingsToINI(*fileSystem, ini, AppSettings{}).ok());

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

    const auto saved = settings::SaveSettingsToINI(*fileSystem, ini, AppSettings{});

    EXPECT_FALSE(saved.ok());
    editor.release();
    EXPECT_EQ(readFile(ini), "[SyncSettings]\r\nAutoSync=ON\r\n");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"Kelvane.ini"});
}

}  // namespace
}  // namespace kelvane::testing
#endif
