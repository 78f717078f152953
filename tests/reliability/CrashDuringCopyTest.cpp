// A pass killed with SIGKILL in the middle of a copy: at each step strace can stop it at
// (every call from the first open for writing, our temporary file, to the end, and data calls
// spread evenly over the copy) and at moments spread over a plain run. After each kill
// the target must hold exactly its old bytes and time or exactly the new ones, and the
// next pass must leave no temporary file of ours behind and the old bytes in the trash.
//
// Size and number of kill points come from the environment so the long run is the same
// test: KELVANE_CRASH_MIB (default 32), KELVANE_CRASH_POINTS (default 40, for the
// read/write copy, whose data calls are many), KELVANE_CRASH_TIMED_KILLS (default 8).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "PassScene.h"

namespace kelvane::testing {
namespace {

constexpr int kKilled = 128 + SIGKILL;

int setting(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

std::int64_t copyBytes() {
    return std::int64_t{setting("KELVANE_CRASH_MIB", 32)} << 20;
}

bool isDataCall(const Syscall& call) {
    return call.name == "read" || call.name == "write" || call.name == "copy_file_range";
}

// Every call that is not a data call, and data calls evenly spread to fill the budget.
std::vector<Syscall> killPoints(const std::vector<Syscall>& stretch, int budget) {
    std::vector<Syscall> steps;
    std::vector<Syscall> data;
    for (const Syscall& call : stretch) {
        if (call.line.find("(INJECTED)") != std::string::npos) {
            continue;  // already failed by strace to force the read/write copy
        }
        (isDataCall(call) ? data : steps).push_back(call);
    }
    const auto room = static_cast<std::size_t>(std::max<int>(0, budget - int(steps.size())));
    const std::size_t wanted = std::min(room, data.size());
    for (std::size_t i = 0; i < wanted; ++i) {
        steps.push_back(data[i * data.size() / wanted]);
    }
    return steps;
}

// What the kills left, for the summary and the checks.
struct Tally {
    int kills = 0;
    int oldFile = 0;
    int newFile = 0;
    int temporariesLeftByKills = 0;
    int finishedBeforeTheKill = 0;

    std::string summary() const {
        return std::to_string(kills) + " kills: target old " + std::to_string(oldFile) + ", new " +
               std::to_string(newFile) + "; temporary files left by a kill " +
               std::to_string(temporariesLeftByKills) + " (all removed by the next pass)" +
               (finishedBeforeTheKill > 0
                    ? "; finished before the kill " + std::to_string(finishedBeforeTheKill)
                    : "");
    }
};

class CrashDuringCopy : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { letChildrenRunUnderPtrace(); }

    void SetUp() override {
        if (!commandWorks({"strace", "-V"})) {
            GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
        }
    }

    // Looks at what a kill left, then runs the next pass and checks it cleans up.
    void checkAfterKill(const std::string& where) {
        SCOPED_TRACE(where);
        const Held held = scene.targetHolds();
        EXPECT_NE(held, Held::Torn) << "the target is neither the old file nor the new one";
        EXPECT_TRUE(scene.sourceIntact());
        tally.oldFile += held == Held::OldFile;
        tally.newFile += held == Held::NewFile;
        tally.temporariesLeftByKills += !scene.temporaryFiles().empty();

        const Ended next = runToEnd(scene.passCommand());
        EXPECT_EQ(next.status, 0) << next.output;
        EXPECT_EQ(next.output, held == Held::OldFile ? "Copied: File2 updated \n" : "Equal\n");
        EXPECT_EQ(scene.targetHolds(), Held::NewFile);
        EXPECT_TRUE(scene.oldTargetKept()) << "the replaced bytes are lost";
        EXPECT_EQ(scene.temporaryFiles(), std::vector<std::string>{});
        scene.restoreOldTarget();
    }

    void killAtEachStep(CopyPath path, int budget) {
        const auto stretch = scene.recordCopyStretch(path);
        ASSERT_FALSE(stretch.empty()) << "a clean traced pass made no copy";
        for (const Syscall& step : killPoints(stretch, budget)) {
            const Injection kill{step.name, "signal=KILL", step.occurrence};
            const Ended killed = runToEnd(scene.tracedPass(path, {kill}));
            ++tally.kills;
            EXPECT_EQ(killed.status, kKilled) << "never reached: " << step.line;
            checkAfterKill(step.line);
        }
    }

    PassScene scene{copyBytes(), 1 << 20};
    Tally tally;
};

TEST_F(CrashDuringCopy, KilledAtEachStepOfTheKernelCopy) {
    killAtEachStep(CopyPath::Kernel, setting("KELVANE_CRASH_POINTS", 40));
    std::cout << "[ figures  ] kernel copy of " << (copyBytes() >> 20)
              << " MiB: " << tally.summary() << std::endl;
    EXPECT_GT(tally.oldFile, 0);
    EXPECT_GT(tally.newFile, 0);
}

TEST_F(CrashDuringCopy, KilledAtEachStepOfTheReadWriteCopy) {
    killAtEachStep(CopyPath::ReadWrite, setting("KELVANE_CRASH_POINTS", 40));
    std::cout << "[ figures  ] read/write copy of " << (copyBytes() >> 20)
              << " MiB: " << tally.summary() << std::endl;
    EXPECT_GT(tally.oldFile, 0);
    EXPECT_GT(tally.newFile, 0);
}

// The kernel copies a file in one or two copy_file_range calls, which strace can stop
// only at their start; a kill that lands inside one must leave the target whole too.
// The moments are spread over the length of a clean run; wherever they land, the rule
// is the same, so the test does not depend on the machine's speed.
TEST_F(CrashDuringCopy, KilledAtMomentsSpreadOverAPlainRun) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runToEnd(scene.passCommand()).status, 0);
    const auto cleanRun = std::chrono::steady_clock::now() - start;
    scene.restoreOldTarget();

    const int kills = setting("KELVANE_CRASH_TIMED_KILLS", 8);
    for (int i = 1; i <= kills; ++i) {
        ChildProcess pass(scene.passCommand());
        std::this_thread::sleep_for(cleanRun * i / (kills + 1));
        pass.signal(SIGKILL);
        const Ended ended = pass.finish();
        ++tally.kills;
        tally.finishedBeforeTheKill += ended.status != kKilled;
        checkAfterKill("kill " + std::to_string(i) + " of " + std::to_string(kills));
    }
    std::cout << "[ figures  ] timed kills, kernel copy of " << (copyBytes() >> 20)
              << " MiB: " << tally.summary() << std::endl;
}

}  // namespace
}  // namespace kelvane::testing
