// Saves in a second process: killed in the middle, and run by a user who may not write to
// the folder. What the user must see afterwards is a whole settings file, old or new.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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

class SaveProcessTest : public SettingsFileFixture {
  protected:
    void SetUp() override {
        save(saveVariant(0));
        oldBytes_ = readFile(ini);
        newBytes_ = settings::fileBytesWithSettings(*fileSystem, oldBytes_, saveVariant(1));
        // Saving the old values over the new file gives the old bytes again, so every
        // complete save leaves one of exactly two files.
        ASSERT_EQ(settings::fileBytesWithSettings(*fileSystem, newBytes_, saveVariant(0)),
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

// Root may write anywhere, so as root the saver runs as the unprivileged user "nobody".
TEST_F(SaveProcessTest, SaveIntoAReadOnlyFolderReportsWhyAndKeepsTheOldFile) {
    std::vector<std::string> command = {kSaver, ini, "once"};
    if (::geteuid() == 0) {
        if (!commandRuns({"setpriv", "--version"})) {
            GTEST_SKIP() << "running as root without setpriv: cannot take the rights away";
        }
        command.insert(command.begin(),
                       {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
    ChildProcess saver(command);
    ASSERT_TRUE(saver.started());
    const std::string output = saver.readAll();
    EXPECT_EQ(saver.wait(), 1) << output;
    EXPECT_EQ(output.rfind("failed: ", 0), 0u) << output;
    EXPECT_NE(output.find("Permission denied"), std::string::npos) << output;
    EXPECT_EQ(readFile(ini), oldBytes_);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"Kelvane.ini"});
}

}  // namespace
}  // namespace kelvane::testing
