// Where the settings file lives, whether it counts as present, and how a failed save is
// reported.
#include <cmath>
#include <filesystem>
#include <random>
#include <string>

#include "SettingsFixture.h"

namespace kelvane::testing {
namespace {

using settings::iniFilePathFor;

TEST(IniFilePathTest, SitsBesideTheExecutableAndBearsItsName) {
    EXPECT_EQ(iniFilePathFor("D:\\Tools\\Kelvane.exe", '\\'), "D:\\Tools\\Kelvane.ini");
    EXPECT_EQ(iniFilePathFor("/opt/kelvane/bin/kelvane", '/'), "/opt/kelvane/bin/kelvane.ini");
}

TEST(IniFilePathTest, AnotherExecutableNameGetsAFileOfItsOwn) {
    EXPECT_EQ(iniFilePathFor("D:\\Tools\\Kelvane2.exe", '\\'), "D:\\Tools\\Kelvane2.ini");
    EXPECT_EQ(iniFilePathFor("/usr/bin/kelvane.old.bin", '/'), "/usr/bin/kelvane.old.ini");
}

TEST(IniFilePathTest, RootFolderAndForwardSlashesFromQtOnWindows) {
    EXPECT_EQ(iniFilePathFor("D:\\Kelvane.exe", '\\'), "D:\\Kelvane.ini");
    EXPECT_EQ(iniFilePathFor("/kelvane", '/'), "/kelvane.ini");
    EXPECT_EQ(iniFilePathFor("C:/Program Files/Kelvane.exe", '\\'),
              "C:/Program Files\\Kelvane.ini");
}

TEST(IniFilePathTest, DotsInFolderNamesAreNoExtension) {
    EXPECT_EQ(iniFilePathFor("/home/me/.local/bin/kelvane", '/'),
              "/home/me/.local/bin/kelvane.ini");
    EXPECT_EQ(iniFilePathFor("/home/me/.kelvane", '/'), "/home/me/.kelvane.ini");
}

using SettingsFileTest = SettingsFileFixture;

// A folder the user may write (SaveProcessTest covers one the user may not).
TEST_F(SettingsFileTest, PortableInstallKeepsItsSettingsBesideTheExecutable) {
    EXPECT_EQ(settings::settingsFilePathFor(*settingsStore, folder.file("Kelvane"), '/',
                                            settings::Installation::Portable),
              ini);
}

// Root may write the system's folders; a file there would be every user's settings.
TEST_F(SettingsFileTest, SystemInstallKeepsThemInTheUsersFolderEvenBesideAWritableFile) {
    writeFile(ini, "[SyncSettings]\nAutoSync=ON\n");
    ASSERT_NE(settingsStore->userSettingsFolder(), "");

    EXPECT_EQ(settings::settingsFilePathFor(*settingsStore, folder.file("Kelvane"), '/',
                                            settings::Installation::System),
              settingsStore->userSettingsFolder() + "/Kelvane.ini");
    EXPECT_EQ(settings::settingsFilePathFor(*settingsStore, folder.file("Kelvane"), '/',
                                            settings::Installation::Portable),
              ini);
}

TEST_F(SettingsFileTest, ExistsOnlyForAnOrdinaryFile) {
    EXPECT_FALSE(settings::settingsFileExists(*settingsStore, ini));
    writeFile(ini, "");
    EXPECT_TRUE(settings::settingsFileExists(*settingsStore, ini));
    const std::string folderNamedLikeTheFile = folder.file("Folder.ini");
    folder.makeFolder("Folder.ini");
    EXPECT_FALSE(settings::settingsFileExists(*settingsStore, folderNamedLikeTheFile));
}

TEST_F(SettingsFileTest, FirstSaveCreatesTheFile) {
    save(settings::AppSettings{});
    EXPECT_TRUE(settings::settingsFileExists(*settingsStore, ini));
    EXPECT_EQ(load(), settings::AppSettings{});
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"Kelvane.ini"});
}

TEST_F(SettingsFileTest, SaveIntoAMissingFolderReportsWhy) {
    const std::string lost = folder.file("no such folder/Kelvane.ini");
    const auto saved = settings::saveSettings(*settingsStore, lost, settings::AppSettings{});
    ASSERT_FALSE(saved.ok());
    EXPECT_NE(saved.reason().find("no such folder"), std::string::npos) << saved.reason();
}

TEST_F(SettingsFileTest, SaveOverAFolderReportsWhyAndLeavesItAlone) {
    folder.makeFolder("Kelvane.ini/inside");
    const auto saved = settings::saveSettings(*settingsStore, ini, settings::AppSettings{});
    ASSERT_FALSE(saved.ok());
    EXPECT_FALSE(saved.reason().empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "Kelvane.ini" / "inside"));
}

}  // namespace
}  // namespace kelvane::testing

namespace kelvane::testing {
namespace {

// A settings file overwritten with garbage (a disk error, a wrong file copied over it)
// must still start the program, and the next save must give a file that loads back.
TEST_F(SettingsFileTest, MegabyteOfRandomBytesLoadsAndSavesCleanly) {
    std::mt19937 random(20261208);
    std::string garbage(settings::kSettingsFileLimit - 4096, '\0');  // room for the save
    for (char& byte : garbage) {
        byte = static_cast<char>(random() & 0xFF);
    }
    writeFile(ini, garbage);

    const settings::AppSettings loaded = load();

    for (const int tick :
         {settings::storedTick(loaded.File1_Selected), settings::storedTick(loaded.File2_Selected),
          settings::storedTick(loaded.File3_Selected)}) {
        EXPECT_TRUE(tick >= 0 && tick <= 2) << tick;
    }
    EXPECT_TRUE(std::isfinite(loaded.FormTop) && std::isfinite(loaded.FormLeft));
    settings::AppSettings mine;
    mine.File1 = "/home/me/a/notes.txt";
    mine.LastSyncEvent = "File2 updated 3/14/2025 at 9:05:07 PM";
    save(mine);
    EXPECT_EQ(load(), mine);
}

}  // namespace
}  // namespace kelvane::testing
