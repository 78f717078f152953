// Failures during a pass: each one ends in the failure outcome with both files as they
// were and no temporary file left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "SyncFixture.h"
#include "platform/TempNames.h"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>
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

// A copy killed between its rename and its time setting, on a volume that resets times
// on rename (FAT through FUSE), leaves the target with the source's bytes and the moment
// of the kill as its time. That is no newer edit: nothing is copied back over the
// source, and the newer file gets the time the finished copy would have given it.
TEST_F(SafeCopy, ByteEqualFilesWithDifferentTimesAreLeftAsTheyAre) {
    put(1, "same bytes", kOld);
    put(2, "same bytes", kNew);

    const auto first = run("110");
    const auto second = run("110");

    EXPECT_EQ(first.result, SyncResult::Equal) << first.reason;
    EXPECT_EQ(first.statusPrefix, "");
    EXPECT_EQ(second.result, SyncResult::Equal) << second.reason;
    EXPECT_EQ(fileSystem.copies, 0);
    expectUntouched(1, "same bytes", kOld);
    expectUntouched(2, "same bytes", kOld);
}

// Only the owner may set a file's time: another user's file keeps its own, and the two
// still count as equal, without a copy, for the rest of the run.
TEST_F(SafeCopy, ByteEqualFileWhoseTimeCannotBeSetIsStillNotCopied) {
    put(1, "same bytes", kOld);
    put(2, "same bytes", kNew);
    fileSystem.fixedTimes.insert(path(2));

    const auto first = run("110");
    const auto second = run("110");

    EXPECT_EQ(first.result, SyncResult::Equal) << first.reason;
    EXPECT_EQ(second.result, SyncResult::Equal) << second.reason;
    EXPECT_EQ(fileSystem.copies, 0);
    expectUntouched(1, "same bytes", kOld);
    expectUntouched(2, "same bytes", kNew);
}

TEST_F(SafeCopy, OnlyTheFileWithOtherBytesIsUpdated) {
    put(1, "version 2", kOld + 10);
    put(2, "version 2", kNew);  // the interrupted copy
    put(3, "version 1", kOld);

    const auto outcome = run("111");

    EXPECT_EQ(outcome.result, SyncResult::Copied) << outcome.reason;
    EXPECT_EQ(outcome.statusPrefix, "File3 updated ");
    EXPECT_EQ(fileSystem.copies, 1);
    expectUntouched(1, "version 2", kOld + 10);
    expectUntouched(2, "version 2", kOld + 10);
    expectUntouched(3, "version 2", kOld + 10);
    EXPECT_EQ(run("111").result, SyncResult::Equal);
}

// An edit that keeps the size costs one compared chunk and is copied as always.
TEST_F(SafeCopy, EditThatKeepsTheSizeIsCopied) {
    put(1, "version 1", kOld);
    put(2, "version 2", kNew);

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Copied) << outcome.reason;
    EXPECT_EQ(outcome.statusPrefix, "File1 updated ");
    expectUntouched(1, "version 2", kNew);
}

// A temporary file's name is tried afresh while the names are taken, sixteen times at the
// most, and a failure that is no clash ends the tries at once with its reason.
TEST(TemporaryNames, TakenNamesAreTriedAfreshUpToSixteenTimes) {
    std::set<std::string> tried;
    const auto taken =
        platform::createUnderFreshName("notes.txt", 4242, [&](const std::string& name) {
            tried.insert(name);
            return platform::Result<bool>(false);
        });
    ASSERT_TRUE(taken.ok());
    EXPECT_EQ(taken.value(), "");
    EXPECT_EQ(tried.size(), 16u);
    for (const std::string& name : tried) {
        EXPECT_EQ(platform::temporaryOwner(name, "notes.txt"), 4242) << name;
    }

    int tries = 0;
    const auto third = platform::createUnderFreshName("notes.txt", 4242, [&](const std::string&) {
        return platform::Result<bool>(++tries == 3);
    });
    ASSERT_TRUE(third.ok());
    EXPECT_EQ(tries, 3);
    EXPECT_EQ(platform::temporaryOwner(third.value(), "notes.txt"), 4242);

    tries = 0;
    const auto refused = platform::createUnderFreshName("notes.txt", 4242, [&](const std::string&) {
        ++tries;
        return platform::Result<bool>(platform::Error{"Permission denied"});
    });
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.reason(), "Permission denied");
    EXPECT_EQ(tries, 1);
}

TEST(TemporaryNames, OnlyLeftOverTemporariesOfTheFileCountAsStale) {
    const auto alive = [](long pid) { return pid == 7; };
    EXPECT_TRUE(platform::isLeftOverTemporary(".notes.txt.kelvane-9-abcdefghijkl.tmp", "notes.txt",
                                              5, alive));
    EXPECT_TRUE(platform::isLeftOverTemporary(".notes.txt.kelvane-5-abcdefghijkl.tmp", "notes.txt",
                                              5, alive));
    EXPECT_FALSE(platform::isLeftOverTemporary(".notes.txt.kelvane-7-abcdefghijkl.tmp", "notes.txt",
                                               5, alive));
    EXPECT_FALSE(platform::isLeftOverTemporary(".other.txt.kelvane-9-abcdefghijkl.tmp", "notes.txt",
                                               5, alive));
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

    const auto outcome = syncSelectedFiles(chosen, fileSystem);

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

// A target the user may not write was made so to protect it: it is left alone and the
// pass says why. Root may write anything, so root's pass replaces it.
struct ProtectedTarget {
    const char* name;
    int mode;
    bool asNobody;
    bool replaced;
};

class ReadOnlyTarget : public SafeCopy, public ::testing::WithParamInterface<ProtectedTarget> {};

TEST_P(ReadOnlyTarget, IsLeftAloneUnlessTheUserMayWriteIt) {
    const ProtectedTarget& c = GetParam();
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the owners in these cases need root to set up";
    }
    put(1, "new", kNew);
    put(2, "old", kOld);
    fs::permissions(folder.path() / "b", fs::perms(0777));
    fs::permissions(path(2), fs::perms(c.mode));
    auto pass = [&] {
        const auto outcome = run("110");
        if (outcome.result == SyncResult::Copied) {
            return 0;
        }
        const bool saysWhy = outcome.result == SyncResult::Failed &&
                             outcome.reason.find("read-only") != std::string::npos;
        return saysWhy ? 1 : 2;
    };

    const int code = c.asNobody ? runAsNobody(pass) : pass();

    EXPECT_EQ(code, c.replaced ? 0 : 1);
    if (c.replaced) {
        EXPECT_EQ(contentOf(2), "new");
    } else {
        expectUntouched(2, "old", kOld);
        struct stat info {};
        ASSERT_EQ(::stat(path(2).c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, ::geteuid()) << "still its owner's";
    }
    EXPECT_EQ(fs::status(path(2)).permissions(), fs::perms(c.mode));
    expectNoTemporaryFiles();
}

INSTANTIATE_TEST_SUITE_P(
    Owners, ReadOnlyTarget,
    ::testing::Values(ProtectedTarget{"WithoutWritePermission", 0444, true, false},
                      ProtectedTarget{"AnotherUsersFile", 0644, true, false},
                      ProtectedTarget{"ReadOnlyButTheUserIsRoot", 0444, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Any name the file system takes syncs: the temporary name is cut to fit.
class LongName : public SafeCopy, public ::testing::WithParamInterface<std::string> {};

TEST_P(LongName, Syncs) {
    const std::string name = GetParam() + ".txt";
    ASSERT_LE(name.size(), 255u);
    writeFileAt(path(1, name), "new", kNew);
    writeFileAt(path(2, name), "old", kOld);
    auto chosen = slots("110");
    chosen[0].pathText = path(1, name);
    chosen[1].pathText = path(2, name);

    const auto outcome = syncSelectedFiles(chosen, fileSystem, memory);

    EXPECT_EQ(outcome.result, SyncResult::Copied) << outcome.reason;
    EXPECT_EQ(readFile(path(2, name)), "new");
    expectNoTemporaryFiles();
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    UpTo255Bytes, LongName,
    ::testing::Values(std::string(220, 'n'), std::string(251, 'n'),
                      repeated("\xc3\xa9", 125) /* 250 bytes of two-byte letters */,
                      "x" + repeated("\xe2\x82\xac", 83) /* three-byte letters, cut mid-way */),
    [](const auto& info) { return "Name" + std::to_string(info.index); });

TEST_F(SafeCopy, HardLinkedTargetIsNotSplit) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    const std::string otherName = folder.file("c/other name.txt");
    fs::create_hard_link(path(2), otherName);

    const auto outcome = run("110");

    EXPECT_EQ(outcome.result, SyncResult::Failed);
    EXPECT_NE(outcome.reason.find("hard links"), std::string::npos) << outcome.reason;
    expectUntouched(2, "old", kOld);
    EXPECT_EQ(readFile(otherName), "old");
    EXPECT_EQ(fs::hard_link_count(path(2)), 2u);
    expectNoTemporaryFiles();
}

TEST_F(SafeCopy, HardLinkedSourceIsCopied) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    fs::create_hard_link(path(1), folder.file("c/other name.txt"));

    EXPECT_EQ(run("110").result, SyncResult::Copied);
    EXPECT_EQ(contentOf(2), "new");
}

// A POSIX access control list as the kernel stores it: owner rw, user nobody r, group r,
// mask r, others nothing.
std::string accessControlList() {
    struct Entry {
        std::uint16_t tag, permissions;
        std::uint32_t id;
    };
    const std::uint32_t version = 2;
    const Entry entries[] = {
        {0x01, 6, ~0u}, {0x02, 4, 65534}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 0, ~0u}};
    std::string bytes(reinterpret_cast<const char*>(&version), sizeof version);
    bytes.append(reinterpret_cast<const char*>(entries), sizeof entries);
    return bytes;
}

std::string attributeOf(const std::string& path, const char* name) {
    std::string value(4096, '\0');
    const ssize_t size = ::getxattr(path.c_str(), name, value.data(), value.size());
    return size < 0 ? std::string("(none: ") + std::strerror(errno) + ")"
                    : value.substr(0, static_cast<std::size_t>(size));
}

TEST_F(SafeCopy, TargetKeepsItsExtendedAttributesAccessListAndOwner) {
    put(1, "new", kNew);
    put(2, "old", kOld);
    const std::string acl = accessControlList();
    if (::setxattr(path(2).c_str(), "user.origin", "laptop", 6, 0) != 0 ||
        ::setxattr(path(2).c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
        GTEST_SKIP() << "this file system keeps no user attributes or access lists: "
                     << std::strerror(errno);
    }
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path(2).c_str(), 65534, 65534), 0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(path(2).c_str(), &before), 0);

    ASSERT_EQ(run("110").result, SyncResult::Copied);

    EXPECT_EQ(contentOf(2), "new");
    EXPECT_EQ(attributeOf(path(2), "user.origin"), "laptop");
    EXPECT_EQ(attributeOf(path(2), "system.posix_acl_access"), acl);
    struct stat after {};
    ASSERT_EQ(::stat(path(2).c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
}

// Folders nested deep enough that the file's path passes the system's 4096 bytes; made
// and removed through folder handles, since no call takes the whole path.
class DeepFile {
  public:
    static constexpr int kLevels = 20;

    explicit DeepFile(const std::string& top) : top_(top) {
        int at = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
        path_ = top;
        for (int level = 0; level < kLevels; ++level) {
            ::mkdirat(at, component().c_str(), 0755);
            const int next = ::openat(at, component().c_str(), O_RDONLY | O_DIRECTORY);
            ::close(at);
            at = next;
            path_ += "/" + component();
        }
        const int file = ::openat(at, "notes.txt", O_WRONLY | O_CREAT, 0644);
        const struct timespec times[2] = {{kNewTime, 0}, {kNewTime, 0}};
        const ssize_t written = ::write(file, "deep", 4);
        static_cast<void>(written);
        ::futimens(file, times);
        ::close(file);
        ::close(at);
        path_ += "/notes.txt";
    }
    ~DeepFile() { removeLevel(::open(top_.c_str(), O_RDONLY | O_DIRECTORY), 0); }
    DeepFile(const DeepFile&) = delete;
    DeepFile& operator=(const DeepFile&) = delete;

    const std::string& path() const { return path_; }
    static constexpr std::int64_t kNewTime = 1'700'000'000;

  private:
    static std::string component() { return std::string(250, 'd'); }

    static void removeLevel(int at, int level) {
        if (level < kLevels) {
            removeLevel(::openat(at, component().c_str(), O_RDONLY | O_DIRECTORY), level + 1);
            ::unlinkat(at, component().c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(at, "notes.txt", 0);
        }
        ::close(at);
    }

    std::string top_;
    std::string path_;
};

TEST_F(SafeCopy, PathLongerThanTheSystemTakesFailsWithItsReason) {
    const DeepFile deep(folder.file("a"));
    ASSERT_GT(deep.path().size(), 4096u);
    put(2, "old", kOld);
    auto chosen = slots("110");
    chosen[0].pathText = deep.path();

    const auto outcome = syncSelectedFiles(chosen, fileSystem, memory);

    EXPECT_EQ(outcome.result, SyncResult::Failed) << outcome.message;
    EXPECT_NE(outcome.reason.find(std::strerror(ENAMETOOLONG)), std::string::npos)
        << outcome.reason;
    expectUntouched(2, "old", kOld);
}

// tmpfs keeps nanoseconds too: a save within the second of the copy is carried over.
TEST_F(SafeCopy, SaveInTheSameSecondReachesATmpfsTarget) {
    const auto memoryDisk = folder.makeFolder("memory");
    if (::mount("tmpfs", memoryDisk.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
    }
    const std::string target = folder.file("memory/notes.txt");
    writeFileAt(target, "old", kOld);
    writeFileAt(path(1), "first save", kNew, 100'000'001);
    auto chosen = slots("110");
    chosen[1].pathText = target;

    const auto first = syncSelectedFiles(chosen, fileSystem, memory);
    writeFileAt(path(1), "second save", kNew, 900'000'001);
    const auto second = syncSelectedFiles(chosen, fileSystem, memory);
    const auto third = syncSelectedFiles(chosen, fileSystem, memory);
    const std::string held = readFile(target);
    const auto heldTime = modifiedSinceEpoch(target);
    ::umount(memoryDisk.c_str());

    EXPECT_EQ(first.result, SyncResult::Copied);
    EXPECT_EQ(second.result, SyncResult::Copied);
    EXPECT_EQ(third.result, SyncResult::Equal);
    EXPECT_EQ(held, "second save");
    EXPECT_EQ(heldTime, modifiedSinceEpoch(path(1)));
}

// What `rsync --inplace -t` or `cp --preserve=timestamps` does to a file: new bytes in
// the same inode, then its old last-modified time put back.
void rewriteInPlaceKeepingItsTime(const std::string& path, const std::string& content) {
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, content.data(), content.size(), 0),
              static_cast<ssize_t>(content.size()));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
}

// Size and time alone cannot tell such a rewrite during a copy: the copy would hold the
// old bytes before the rewrite and the new ones after it. The change time tells.
TEST_F(SafeCopy, SourceRewrittenInPlaceWithItsTimePutBackFailsThePass) {
    const std::string first(platform::kCopyChunk + 4096, 'a');
    const std::string second(platform::kCopyChunk + 4096, 'b');
    writeFileAt(path(1), first, kNew);
    put(2, "old", kOld);
    bool rewritten = false;
    sync::PassControl control;
    control.progressed = [&](const sync::CopyProgress& progress) {
        if (progress.copiedBytes > 0 && !rewritten) {
            rewritten = true;
            rewriteInPlaceKeepingItsTime(path(1), second);
        }
    };

    const auto outcome = syncSelectedFiles(slots("110"), fileSystem, memory, control);

    ASSERT_TRUE(rewritten);
    EXPECT_EQ(outcome.result, SyncResult::Failed) << outcome.statusPrefix;
    EXPECT_NE(outcome.reason.find("changed while it was copied"), std::string::npos)
        << outcome.reason;
    EXPECT_TRUE(contentOf(2) == "old") << "a mix of both versions";
    EXPECT_EQ(secondsOf(2), kOld);
    expectNoTemporaryFiles();
    const auto next = run("110");
    EXPECT_EQ(next.result, SyncResult::Copied) << next.reason;
    EXPECT_TRUE(contentOf(2) == second);
    EXPECT_EQ(secondsOf(2), kNew);
}

// A large hole with a few data ranges in it, and a hole at the end: what a disk image
// or a database file looks like.
void writeSparseFile(const std::string& path, off_t apparentSize, std::int64_t seconds) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    std::string data(1 << 20, '\0');
    for (const off_t at : {off_t{0}, off_t{20} << 20, (off_t{40} << 20) + 4096}) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<char>((static_cast<std::size_t>(at) + i * 7) % 251 + 1);
        }
        ASSERT_EQ(::pwrite(fd, data.data(), data.size(), at), static_cast<ssize_t>(data.size()));
    }
    ASSERT_EQ(::ftruncate(fd, apparentSize), 0);
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
}

bool sameBytes(const std::string& a, const std::string& b) {
    const int first = ::open(a.c_str(), O_RDONLY);
    const int second = ::open(b.c_str(), O_RDONLY);
    std::vector<char> left(8 << 20);
    std::vector<char> right(8 << 20);
    bool same = first >= 0 && second >= 0;
    while (same) {
        const ssize_t got = ::read(first, left.data(), left.size());
        same = got >= 0 && ::read(second, right.data(), right.size()) == got &&
               std::memcmp(left.data(), right.data(), static_cast<std::size_t>(got)) == 0;
        if (got <= 0) {
            break;
        }
    }
    ::close(first);
    ::close(second);
    return same;
}

TEST_F(SafeCopy, SparseSourceKeepsItsHolesOnTheTarget) {
    constexpr off_t kApparent = off_t{64} << 20;
    writeSparseFile(path(1), kApparent, kNew);
    put(2, "old", kOld);
    struct stat source {};
    ASSERT_EQ(::stat(path(1).c_str(), &source), 0);
    if (source.st_blocks * 512 > kApparent / 4) {
        GTEST_SKIP() << "the temporary folder's file system keeps no holes";
    }
    std::uint64_t lastCopied = 0;
    std::uint64_t lastTotal = 0;
    sync::PassControl control;
    control.progressed = [&](const sync::CopyProgress& progress) {
        lastCopied = progress.copiedBytes;
        lastTotal = progress.totalBytes;
    };

    const auto outcome = syncSelectedFiles(slots("110"), fileSystem, memory, control);

    ASSERT_EQ(outcome.result, SyncResult::Copied) << outcome.reason;
    struct stat target {};
    ASSERT_EQ(::stat(path(2).c_str(), &target), 0);
    EXPECT_EQ(target.st_size, kApparent);
    EXPECT_LE(target.st_blocks, source.st_blocks + 2048) << "no more than 1 MiB beyond the source";
    EXPECT_TRUE(sameBytes(path(1), path(2)));
    EXPECT_EQ(lastCopied, static_cast<std::uint64_t>(kApparent));
    EXPECT_EQ(lastTotal, static_cast<std::uint64_t>(kApparent));
    EXPECT_EQ(secondsOf(2), kNew);
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
