// Things in the settings file's place that are no settings file: a FIFO, a link to a
// device, a file the user made read-only. None may hang the program, exhaust its memory or
// be replaced.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SettingsFixture.h"

namespace kelvane::testing {
namespace {

using settings::AppSettings;
namespace fs = std::filesystem;

class UnusableFileTest : public SettingsFileFixture {
  protected:
    // Start-up turns it down and says why; a save leaves it as it is and says the same.
    void expectNeitherReadNorWritten() {
        const auto check = settings::checkSettingsFile(*settingsStore, ini);
        EXPECT_FALSE(check.loadable);
        EXPECT_NE(check.trouble.reason().find("not an ordinary file"), std::string::npos)
            << check.trouble.reason();
        EXPECT_EQ(load(), emptySettings());  // even when asked directly: no hang, no flood
        const auto saved = settings::saveSettings(*settingsStore, ini, AppSettings{});
        EXPECT_FALSE(saved.ok());
        EXPECT_EQ(saved.reason(), check.trouble.reason());
    }
};

TEST_F(UnusableFileTest, FifoIsNeitherReadNorWritten) {
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
    expectNeitherReadNorWritten();
    EXPECT_TRUE(fs::is_fifo(ini));
}

TEST_F(UnusableFileTest, LinkToADeviceIsNeitherReadNorWritten) {
    fs::create_symlink("/dev/zero", ini);
    expectNeitherReadNorWritten();
    EXPECT_EQ(fs::read_symlink(ini), "/dev/zero");
}

// A save through a live link replaces the file behind it; one through a link whose file
// is missing makes that file, so the link stays the user's way to their settings.
TEST_F(UnusableFileTest, DanglingLinkGetsItsFileMadeBehindIt) {
    folder.makeFolder("kept");
    fs::create_symlink("kept/Kelvane.ini", ini);

    save(AppSettings{});

    EXPECT_TRUE(fs::is_symlink(ini));
    EXPECT_EQ(fs::read_symlink(ini), "kept/Kelvane.ini");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder.file("kept/Kelvane.ini"))));
    EXPECT_EQ(load(), AppSettings{});
    EXPECT_EQ(folder.entries("kept"), std::vector<std::string>{"Kelvane.ini"});
}

TEST_F(UnusableFileTest, DanglingLinkIntoAMissingFolderIsLeftAndSaysWhy) {
    const std::string gone = folder.file("gone/Kelvane.ini");
    fs::create_symlink(gone, ini);

    const auto saved = settings::saveSettings(*settingsStore, ini, AppSettings{});

    ASSERT_FALSE(saved.ok());
    EXPECT_NE(saved.reason().find("symbolic link"), std::string::npos) << saved.reason();
    EXPECT_NE(saved.reason().find(gone), std::string::npos) << saved.reason();
    EXPECT_TRUE(fs::is_symlink(ini));
    EXPECT_EQ(fs::read_symlink(ini), gone);
    EXPECT_FALSE(fs::exists(folder.file("gone")));
}

TEST_F(UnusableFileTest, ReadOnlyFileIsReadAndLeftAsItIs) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write any file (SaveProcessTest runs this as nobody)";
    }
    writeFile(ini, "[SyncSettings]\nAutoSync=ON\n");
    ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);

    EXPECT_TRUE(settings::settingsFileExists(*settingsStore, ini));
    EXPECT_EQ(load().AutoSync, "ON");
    const auto saved = settings::saveSettings(*settingsStore, ini, AppSettings{});
    EXPECT_FALSE(saved.ok());
    EXPECT_NE(saved.reason().find("read-only"), std::string::npos) << saved.reason();
    EXPECT_EQ(readFile(ini), "[SyncSettings]\nAutoSync=ON\n");
}

// Root may write a file without write bits, so for root it is no read-only file.
TEST_F(UnusableFileTest, RootJudgesAReadOnlyFileAsRoot) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    writeFile(ini, "[SyncSettings]\nAutoSync=ON\n");
    ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);

    save(AppSettings{});

    EXPECT_EQ(load(), AppSettings{});
    EXPECT_EQ(fs::status(ini).permissions() & fs::perms::all, fs::perms(0444));
}

}  // namespace
}  // namespace kelvane::testing
