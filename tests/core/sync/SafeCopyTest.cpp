// Failures during a pass: each one ends in the failure outcome with both files as they
// were and no temporary file left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "SyncFixture.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#endif

namespace kelvane::testing {
namespace {

namespace fs = std::filesystem;
using sync::SyncResult;

class SafeCopy : public SyncFixture {
  protected:
    void expectUntouched(int slot, const std::string& content, std::int64_t seconds) {
        EXPECT_EQ(contentOf(slot), content) << "slot " << slot;
        EXPECT_EQ(secondsOf(slot), seconds) << "slot " << slot;
    }
    void expectNoTemporaryFiles() {
        for (const char* sub : {"a", "b", "c"}) {
            for (const auto& name : folder.entries(sub)) {
                EXPECT_EQ(name.find(".kelvane-"), std::string::npos) << sub << "/" << name;
            }
        }
    }
};

TEST_F(SafeCopy, SourceVanishingBeforeTheCopyFailsCleanly) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    fileSystem.beforeCopy = [&](const std::string&, const std::string&) { fs::remove(path(1)); };

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Failed);
    EXPECT_FALSE(outcome.reason.empty());
    expectUntouched(2, "old", kOld);
    expectNoTemporaryFiles();
}

TEST_F(SafeCopy, TargetTurnedIntoAFolderMidPassFailsCleanly) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    fileSystem.beforeCopy = [&](const std::string&, const std::string& target) {
        fs::remove(target);
        fs::create_directory(target);
    };

    EXPECT_EQ(run("110").result, SyncResult::Failed);
    EXPECT_TRUE(fs::is_directory(path(2)));
    EXPECT_EQ(contentOf(1), "new");
    expectNoTemporaryFiles();
}

TEST_F(SafeCopy, UnsearchablePathFailsInsteadOfRefusing) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    fileSystem.unsearchable.insert(path(2));

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Failed);
    EXPECT_EQ(fileSystem.copies, 0);
}

TEST_F(SafeCopy, FailedSecondCopyKeepsTheFirst) {
    put(1, "new", kNew);
    put(2, "old two", kOld);
    put(3, "old three", kOld);
    fileSystem.beforeCopy = [&](const std::string&, const std::string& target) {
        if (target == path(3)) {
            fs::remove(target);
            fs::create_directory(target);
        }
    };

    EXPECT_EQ(run("111").result, SyncResult::Failed);
    EXPECT_EQ(contentOf(2), "new");
    EXPECT_TRUE(fs::is_directory(path(3)));
    expectNoTemporaryFiles();
}

TEST_F(SafeCopy, LargeFileArrivesWhole) {
    std::string big(5 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 131) % 251);
    }
    writeFileAt(path(1), big, kNew, 5);
    put(2, "small", kOld);

    ASSERT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_TRUE(contentOf(2) == big);
    EXPECT_EQ(modifiedSinceEpoch(path(2)), modifiedSinceEpoch(path(1)));
    expectNoTemporaryFiles();
}

TEST_F(SafeCopy, EmptySourceEmptiesTheTarget) {
    put(1, "", kNew);
    put(2, "old", kOld);

    ASSERT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "");
}

#ifndef _WIN32

// Root ignores permissions, so permission faults are checked as the unprivileged user
// "nobody" in a child process. Returns the child's exit code.
int runAsNobody(const std::function<int()>& body) {
    if (::geteuid() != 0) {
        return body();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

int resultCode(const sync::SyncOutcome& outcome) {
    return static_cast<int>(outcome.result);
}

TEST_F(SafeCopy, ReadOnlyTargetFolderFailsCleanly) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    fs::permissions(folder.path() / "b", fs::perms(0555));

    const int code = runAsNobody([&] { return resultCode(run("110")); });

    EXPECT_EQ(code, static_cast<int>(SyncResult::Failed));
    expectUntouched(2, "old", kOld);
    fs::permissions(folder.path() / "b", fs::perms(0755));
    expectNoTemporaryFiles();
}

TEST_F(SafeCopy, UnreadableSourceFailsCleanly) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    fs::permissions(path(1), fs::perms::none);
    fs::permissions(folder.path() / "b", fs::perms(0777));

    const int code = runAsNobody([&] { return resultCode(run("110")); });

    EXPECT_EQ(code, static_cast<int>(SyncResult::Failed));
    expectUntouched(2, "old", kOld);
    expectNoTemporaryFiles();
}

TEST_F(SafeCopy, FullDiskFailsCleanly) {
    const auto small = folder.makeFolder("small");
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here (" << std::strerror(errno)
                     << "); the full-disk case needs root in a system that allows mounts";
    }
    const std::string target = folder.file("small/notes.txt");
    writeFileAt(target, "old", kOld);
    writeFileAt(path(1), std::string(512 * 1024, 'x'), kNew);
    auto chosen = slots("110");
    chosen[1].pathText = target;

    const auto outcome = SyncSelectedFiles(chosen, fileSystem);

    EXPECT_EQ(outcome.result, SyncResult::Failed);
    EXPECT_NE(outcome.reason.find("space"), std::string::npos) << outcome.reason;
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(folder.entries("small"), std::vector<std::string>{"notes.txt"});
    ::umount(small.c_str());
}

TEST_F(SafeCopy, SymbolicLinkTargetKeepsTheLink) {
    put(1, "new", kNew);
    writeFileAt(folder.file("c/real.txt"), "old", kOld);
    fs::create_symlink(folder.path() / "c" / "real.txt", path(2));

    ASSERT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_TRUE(fs::is_symlink(path(2)));
    EXPECT_EQ(readFile(folder.file("c/real.txt")), "new");
    expectNoTemporaryFiles();
}

TEST_F(SafeCopy, TargetKeepsItsPermissions) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    fs::permissions(path(1), fs::perms(0600));
    fs::permissions(path(2), fs::perms(0640));

    ASSERT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(fs::status(path(2)).permissions(), fs::perms(0640));
}

TEST_F(SafeCopy, LeftoverFromAKilledWriterIsRemovedByTheNextCopy) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const std::string leftover = ".notes.txt.kelvane-" + std::to_string(gone) + "-abc.tmp";
    const std::string someoneElses = ".notes.txt.kelvane-1-abc.tmp";  // pid 1 is alive
    writeFile(folder.file("b/" + leftover), "half");
    writeFile(folder.file("b/" + someoneElses), "busy");

    ASSERT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(folder.entries("b"), (std::vector<std::string>{someoneElses, "notes.txt"}));
}

#endif

}  // namespace
}  // namespace kelvane::testing
