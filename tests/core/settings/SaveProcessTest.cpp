// Saves in a second process: killed in the middle, and run by a user who may not write to
// the folder. What the user must see afterwards is a whole settings file, old or new.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SaveVariants.h"
#include "SettingsFixture.h"
#include "support/ChildProcess.h"

namespace kelvane::testing {
namespace {

const std::string kSaver = KELVANE_SETTINGS_SAVER;
constexpr int kKilled = 128 + SIGKILL;

bool commandRuns(const std::vector<std::string>& argv) {
    ChildProcess probe(argv);
    if (!probe.started()) {
        return false;
    }
    probe.readAll();
    return probe.wait() == 0;
}

// Root may write anywhere, so as root a command runs as the unprivileged user "nobody"
// (65534), for whom the test's folders are made over where it must write.
std::vector<std::string> unprivileged(std::vector<std::string> command) {
    if (::geteuid() == 0) {
        command.insert(command.begin(),
                       {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    return command;
}

void giveToUnprivileged(const std::string& path) {
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0) << path;
    }
}

bool canDropRights() {
    return ::geteuid() != 0 || commandRuns({"setpriv", "--version"});
}

class SaveProcessTest : public SettingsFileFixture {
  protected:
    void SetUp() override {
        save(saveVariant(0));
        oldBytes_ = readFile(ini);
        newBytes_ = settings::fileBytesWithSettings(*settingsStore, oldBytes_, saveVariant(1));
        // Saving the old values over the new file gives the old bytes again, so every
        // complete save leaves one of exactly two files.
        ASSERT_EQ(settings::fileBytesWithSettings(*settingsStore, newBytes_, saveVariant(0)),
                  oldBytes_);
    }

    void expectWholeFile(const std::string& when) {
        const std::string bytes = readFile(ini);
        if (bytes == oldBytes_) {
            ++sawOld_;
        } else if (bytes == newBytes_) {
            ++sawNew_;
        } else {
            ADD_FAILURE() << when << ": the settings file is torn (" << bytes.size() << " bytes)";
        }
    }

    void expectNoLeftoversAfterTheNextSave() {
        save(saveVariant(0));
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"Kelvane.ini"});
    }

    void report(const std::string& how) const {
        std::cout << "[   INFO   ] " << sawOld_ + sawNew_ << " savers killed " << how << ": "
                  << sawOld_ << " left the old file, " << sawNew_ << " the new one\n";
    }

    std::string oldBytes_;
    std::string newBytes_;
    int sawOld_ = 0;
    int sawNew_ = 0;
};

// strace kills the saver exactly at the n-th call of a system call, so every step of a
// save (writing the bytes, flushing them, renaming the new file into place) is hit.
TEST_F(SaveProcessTest, KillAtAnyWriteFlushOrRenameLeavesTheOldOrTheNewFile) {
    if (!commandRuns({"strace", "-V"})) {
        GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
    }
    for (const std::string call : {"write", "fsync", "/^rename"}) {
        for (const int when : {1, 2, 3, 4, 7}) {
            const std::string at = call + " number " + std::to_string(when);
            ChildProcess saver({"strace", "-f", "-qq", "-o", "/dev/null", "-E",
                                "ASAN_OPTIONS=detect_leaks=0", "-e", "trace=" + call, "-e",
                                "inject=" + call + ":signal=KILL:when=" + std::to_string(when),
                                kSaver, ini, "loop", "20"});
            ASSERT_TRUE(saver.started());
            EXPECT_EQ(saver.wait(), kKilled) << "the saver was not killed at " << at;
            expectWholeFile("killed at " + at);
        }
    }
    report("at a chosen system call");
    EXPECT_GT(sawOld_, 0);
    EXPECT_GT(sawNew_, 0);
    expectNoLeftoversAfterTheNextSave();
}

TEST_F(SaveProcessTest, KillAtRandomMomentsLeavesTheOldOrTheNewFile) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> microseconds(0, 150000);
    for (int run = 0; run < 30; ++run) {
        ChildProcess saver({kSaver, ini, "loop", "1000000", "announce"});
        ASSERT_TRUE(saver.started());
        ASSERT_EQ(saver.readLine(), "saving");
        std::this_thread::sleep_for(std::chrono::microseconds(microseconds(random)));
        saver.kill();
        EXPECT_EQ(saver.wait(), kKilled);
        expectWholeFile("run " + std::to_string(run));
    }
    report("at random moments");
    expectNoLeftoversAfterTheNextSave();
}

TEST_F(SaveProcessTest, SaveIntoAReadOnlyFolderReportsWhyAndKeepsTheOldFile) {
    if (!canDropRights()) {
        GTEST_SKIP() << "running as root without setpriv: cannot take the rights away";
    }
    giveToUnprivileged(ini);  // the file is the saver's own; only the folder is not
    ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
    ChildProcess saver(unprivileged({kSaver, ini, "once"}));
    ASSERT_TRUE(saver.started());
    const std::string output = saver.readAll();
    EXPECT_EQ(saver.wait(), 1) << output;
    EXPECT_EQ(output.rfind("failed: ", 0), 0u) << output;
    EXPECT_NE(output.find("Permission denied"), std::string::npos) << output;
    EXPECT_EQ(readFile(ini), oldBytes_);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"Kelvane.ini"});
}

// The user made the file read-only to keep the settings as they are.
TEST_F(SaveProcessTest, ReadOnlyFileIsLeftAsItIsAndTheSaveSaysSo) {
    if (!canDropRights()) {
        GTEST_SKIP() << "running as root without setpriv: cannot take the rights away";
    }
    giveToUnprivileged(folder.path());  // the folder would allow a rename over the file
    ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);

    ChildProcess saver(unprivileged({kSaver, ini, "once"}));
    ASSERT_TRUE(saver.started());
    const std::string output = saver.readAll();

    EXPECT_EQ(saver.wait(), 1) << output;
    EXPECT_EQ(output, "failed: The file is read-only, so Kelvane leaves it as it is.\n");
    EXPECT_EQ(readFile(ini), oldBytes_);
    EXPECT_EQ(std::filesystem::status(ini).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0444));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"Kelvane.ini"});
}

// Peak memory of a load and a save, in KiB, as the saver reports it. ASan's quarantine
// would count every byte ever freed, so it is switched off.
long peakOfLoadAndSave(const std::string& ini) {
    ChildProcess saver(
        {"env", "ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=0", kSaver, ini, "loadsave"});
    EXPECT_TRUE(saver.started());
    const std::string output = saver.readAll();
    EXPECT_EQ(saver.wait(), 0) << output;
    EXPECT_EQ(output.rfind("peak ", 0), 0u) << output;
    return std::atol(output.c_str() + 5);
}

// One line per byte is the worst case for a reader that keeps a record per line.
TEST_F(SaveProcessTest, MemoryGrowsWithTheFileByASmallFactor) {
    writeFile(ini, "[SyncSettings]\nAutoSync=OFF\n");
    const long small = peakOfLoadAndSave(ini);
    const std::size_t size = settings::kSettingsFileLimit - 4096;
    writeFile(ini, std::string(size, '\n'));
    const long large = peakOfLoadAndSave(ini);

    std::cout << "[   INFO   ] peak " << small << " KiB for a small file, " << large << " KiB for "
              << size / 1024 << " KiB of line breaks\n";
    EXPECT_LT(large - small, static_cast<long>(16 * size / 1024)) << "KiB";
}

// A system-wide install: the executable's folder belongs to root and takes no files.
class SettingsLocationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!canDropRights()) {
            GTEST_SKIP() << "running as root without setpriv: cannot take the rights away";
        }
        ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
        folder.makeFolder("usr/lib/kelvane");
        folder.makeFolder("home/config");
        giveToUnprivileged(folder.file("home"));
        giveToUnprivileged(folder.file("home/config"));
        ASSERT_EQ(::chmod(folder.file("usr/lib/kelvane").c_str(), 0555), 0);
    }

    // Where the saver put the settings, and whether it could.
    std::string saveAs(const std::vector<std::string>& environment) {
        std::vector<std::string> command = {"env"};
        command.insert(command.end(), environment.begin(), environment.end());
        command.push_back("ASAN_OPTIONS=detect_leaks=0");
        for (const std::string& part : unprivileged({kSaver, executable, "located"})) {
            command.push_back(part);
        }
        ChildProcess saver(command);
        EXPECT_TRUE(saver.started());
        output = saver.readAll();
        status = saver.wait();
        return output.substr(0, output.find('\n'));
    }

    TempFolder folder;
    std::string executable = folder.file("usr/lib/kelvane/Kelvane");
    std::string output;
    int status = -1;
};

TEST_F(SettingsLocationTest, WithoutAFileBesideTheyLiveInTheUsersConfigFolder) {
    const std::string config = folder.file("home/config");

    EXPECT_EQ(saveAs({"XDG_CONFIG_HOME=" + config}), config + "/kelvane/Kelvane.ini");
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(settings::settingsFileExists(*platform::makeSystemSettingsStore(),
                                             config + "/kelvane/Kelvane.ini"));

    // A relative XDG_CONFIG_HOME does not count; the home folder's .config does.
    const std::string home = folder.file("home");
    EXPECT_EQ(saveAs({"HOME=" + home, "XDG_CONFIG_HOME=relative"}),
              home + "/.config/kelvane/Kelvane.ini");
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(folder.entries("usr/lib/kelvane"), std::vector<std::string>{});
}

// A service or an `env -i` start: no HOME, yet the user database knows the home.
TEST_F(SettingsLocationTest, WithoutHomeTheUserDatabaseNamesTheHome) {
    const passwd* user = ::getpwuid(::geteuid() == 0 ? 65534 : ::getuid());
    ASSERT_NE(user, nullptr);

    EXPECT_EQ(saveAs({"-u", "HOME", "-u", "XDG_CONFIG_HOME"}),
              std::string(user->pw_dir) + "/.config/kelvane/Kelvane.ini");
    EXPECT_EQ(folder.entries("usr/lib/kelvane"), std::vector<std::string>{});
}

TEST_F(SettingsLocationTest, AFileBesideTheExecutableIsAlwaysUsed) {
    ASSERT_EQ(::chmod(folder.file("usr/lib/kelvane").c_str(), 0755), 0);
    writeFile(folder.file("usr/lib/kelvane/Kelvane.ini"), "[SyncSettings]\nAutoSync=ON\n");
    ASSERT_EQ(::chmod(folder.file("usr/lib/kelvane").c_str(), 0555), 0);

    EXPECT_EQ(saveAs({"XDG_CONFIG_HOME=" + folder.file("home/config")}),
              folder.file("usr/lib/kelvane/Kelvane.ini"));
    EXPECT_EQ(folder.entries("home/config"), std::vector<std::string>{});
}

}  // namespace
}  // namespace kelvane::testing
