// Passes between ext4 (the temporary folder) and a real FAT volume mounted through FUSE
// (fusefat on an image made by mkfs.vfat). FAT keeps times in two-second steps, so a copy
// lands up to two seconds away from its source; the passes after the first must still
// find the two files equal and copy nothing, whatever the mount is called.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "PassScene.h"
#include "SyscallTrace.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "sync/SyncPass.h"

namespace kelvane::testing {
namespace {

namespace fs = std::filesystem;
using sync::SyncResult;

constexpr std::uintmax_t kImageBytes = 16 << 20;
constexpr std::int64_t kOldSeconds = 1600000000;
constexpr std::int64_t kOddSeconds = 1700000001;  // FAT cannot hold it: it has even steps
constexpr std::int32_t kFraction = 250000000;
constexpr std::int64_t kIn2110 = 4417977600;  // FAT's years end with 2107
// Later passes run this long after the copy, past FAT's two-second step.
constexpr auto kPastOneFatStep = std::chrono::milliseconds(2200);

bool isFuseMount(const std::string& path) {
    constexpr long kFuseMagic = 0x65735546;
    struct statfs info {};
    return ::statfs(path.c_str(), &info) == 0 && static_cast<long>(info.f_type) == kFuseMagic;
}

// fusefat ignores a change of the last-modified time alone (the access time left as it is,
// which is how std::filesystem sets it), so the test sets both, as the copy itself does.
void writeFileWithTimes(const std::string& path, const std::string& content, std::int64_t seconds,
                        std::int32_t nanoseconds = 0) {
    writeFile(path, content);
    const struct timespec time { static_cast<time_t>(seconds), nanoseconds };
    const struct timespec times[2] = {time, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

bool haveProgram(const std::string& name) {
    return commandWorks({"sh", "-c", "command -v " + name});
}

class RealFat : public ::testing::Test {
  protected:
    // Options for fusefat; "rw+" writes to the image.
    virtual std::string mountOptions() const { return "rw+"; }

    void SetUp() override {
        if (!fs::exists("/dev/fuse")) {
            GTEST_SKIP() << "/dev/fuse is missing: no FUSE mounts on this machine";
        }
        for (const char* program : {"mkfs.vfat", "fusefat"}) {
            if (!haveProgram(program)) {
                GTEST_SKIP() << program << " is not installed (dosfstools, fusefat)";
            }
        }
        folder.makeFolder("disk");
        mountPoint = folder.makeFolder("fat").string();
        const Ended mounted = makeAndMountImage(folder.file("fat.img"));
        if (mounted.status != 0 || !isFuseMount(mountPoint)) {
            GTEST_SKIP() << "cannot mount a FAT image through FUSE here: " << mounted.output;
        }
        mounted_ = true;
    }

    void TearDown() override {
        if (mounted_ && runToEnd({"fusermount", "-u", mountPoint}).status != 0) {
            runToEnd({"umount", mountPoint});
        }
    }

    Ended makeAndMountImage(const std::string& image) {
        writeFile(image, "");
        fs::resize_file(image, kImageBytes);
        const Ended made = runToEnd({"mkfs.vfat", image});
        if (made.status != 0) {
            return made;
        }
        return mountImage(image);
    }

    // fusefat's daemon keeps its parent's output open, so it writes to a file: a pipe
    // would never reach its end while the volume is mounted.
    Ended mountImage(const std::string& image) {
        const std::string log = folder.file("fusefat.log");
        Ended mounted = runToEnd({"sh", "-c", "exec fusefat -o \"$1\" \"$2\" \"$3\" >\"$4\" 2>&1",
                                  "sh", mountOptions(), image, mountPoint, log});
        mounted.output = readFile(log);
        return mounted;
    }

    sync::SyncOutcome pass(const std::string& first, const std::string& second) {
        return sync::syncSelectedFiles(
            {{{first, sync::Tick::On}, {second, sync::Tick::On}, {"", sync::Tick::Off}}},
            *fileSystem, memory);
    }

    // The first pass copies source over target; two later ones find nothing to do.
    void expectOneCopyThenEqual(const std::string& first, const std::string& second,
                                const std::string& prefix, const std::string& source,
                                const std::string& target) {
        const auto copied = pass(first, second);
        ASSERT_EQ(copied.result, SyncResult::Copied) << copied.reason;
        EXPECT_EQ(copied.statusPrefix, prefix);
        EXPECT_EQ(readFile(target), readFile(source));
        const auto apart = modifiedSinceEpoch(target) - modifiedSinceEpoch(source);
        EXPECT_LT(std::chrono::abs(apart), std::chrono::seconds(2));
        for (int later = 2; later <= 3; ++later) {
            std::this_thread::sleep_for(kPastOneFatStep);
            const auto again = pass(first, second);
            EXPECT_EQ(again.result, SyncResult::Equal) << "pass " << later << ": " << again.reason;
        }
        EXPECT_EQ(readFile(target), readFile(source));
        for (const auto& sub : {"disk", "fat"}) {
            for (const auto& name : folder.entries(sub)) {
                EXPECT_EQ(name.find(".kelvane-"), std::string::npos) << sub << "/" << name;
            }
        }
    }

    TempFolder folder;
    std::string mountPoint;
    std::unique_ptr<platform::FileSystem> fileSystem = platform::makeSystemFileSystem();
    sync::CopyMemory memory;

  private:
    bool mounted_ = false;
};

TEST_F(RealFat, IsToldApartFromExt4ByItsMountType) {
    writeFile(mountPoint + "/probe.txt", "x");
    writeFile(folder.file("disk/probe.txt"), "x");
    EXPECT_TRUE(fileSystem->hasCoarseTimes(mountPoint + "/probe.txt"));
    EXPECT_FALSE(fileSystem->hasCoarseTimes(folder.file("disk/probe.txt")));
}

TEST_F(RealFat, CopyFromExt4OntoFatHappensOnce) {
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onDisk, "written on ext4\n", kOddSeconds, kFraction);
    writeFileWithTimes(onFat, "old on FAT\n", kOldSeconds);

    expectOneCopyThenEqual(onDisk, onFat, "File2 updated ", onDisk, onFat);
    // FAT has no hard links: the replaced bytes were copied into the stick's own trash.
    const std::string trash = mountPoint + "/.Trash-" + std::to_string(::getuid());
    EXPECT_EQ(readFile(trash + "/files/notes.txt"), "old on FAT\n");
}

TEST_F(RealFat, CopyFromFatOntoExt4HappensOnce) {
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onDisk, "old on ext4\n", kOldSeconds);
    writeFileWithTimes(onFat, "written on FAT\n", kOddSeconds, kFraction);

    expectOneCopyThenEqual(onDisk, onFat, "File1 updated ", onFat, onDisk);
}

// fusefat gives a renamed file the moment of the rename, so a pass killed between its
// rename and its time setting leaves a copy that looks newer than its source. The next
// pass must not copy it back over the source (whose time would become the moment of the
// kill): the bytes are equal, and the copy gets the time the finished pass would have
// given it.
TEST_F(RealFat, CopyKilledBeforeItsTimeIsSetIsNotCopiedBack) {
    if (!haveProgram("strace")) {
        GTEST_SKIP() << "strace is not installed";
    }
    letChildrenRunUnderPtrace();
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onDisk, "written on ext4\n", kOddSeconds, kFraction);
    writeFileWithTimes(onFat, "old on FAT\n", kOldSeconds);
    const auto sourceTime = modifiedSinceEpoch(onDisk);

    // The first time setting stamps the temporary file; the second follows the rename.
    const Ended killed = runToEnd(underStrace({Injection{"utimensat", "signal=KILL", 2}},
                                              "/dev/null", {passTool(), onDisk, onFat}));
    ASSERT_NE(killed.status, 0) << killed.output;
    ASSERT_EQ(readFile(onFat), "written on ext4\n");
    if (modifiedSinceEpoch(onFat) - sourceTime < std::chrono::seconds(2)) {
        GTEST_SKIP() << "this fusefat keeps the time through a rename";
    }

    const auto next = pass(onDisk, onFat);
    const auto after = pass(onDisk, onFat);

    EXPECT_EQ(next.result, SyncResult::Equal) << next.statusPrefix << next.reason;
    EXPECT_EQ(after.result, SyncResult::Equal) << after.statusPrefix << after.reason;
    EXPECT_EQ(readFile(onDisk), "written on ext4\n");
    EXPECT_EQ(modifiedSinceEpoch(onDisk), sourceTime);
    const auto apart = modifiedSinceEpoch(onFat) - sourceTime;
    EXPECT_LT(std::chrono::abs(apart), std::chrono::seconds(2));
}

// A FAT volume whose mount does not say FAT: known by the time its first copy keeps.
class RealFatByAnyName : public RealFat, public ::testing::WithParamInterface<const char*> {
  protected:
    std::string mountOptions() const override { return GetParam(); }
};

TEST_P(RealFatByAnyName, CopyFromExt4HappensOnce) {
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onDisk, "written on ext4\n", kOddSeconds, kFraction);
    writeFileWithTimes(onFat, "old on FAT\n", kOldSeconds);

    expectOneCopyThenEqual(onDisk, onFat, "File2 updated ", onDisk, onFat);
}

// fusefat keeps 2110 as 1982; the pass says the time was not kept, once, and the copy
// stays the one copy.
TEST_P(RealFatByAnyName, TimeBeyondFatsYearsIsCopiedOnceAndNeverAgain) {
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onDisk, "dated 2110\n", kIn2110);
    writeFileWithTimes(onFat, "old on FAT\n", kOldSeconds);

    const auto first = pass(onDisk, onFat);

    EXPECT_EQ(first.result, SyncResult::Failed);
    EXPECT_NE(first.reason.find("did not keep the source's time"), std::string::npos)
        << first.reason;
    EXPECT_EQ(readFile(onFat), "dated 2110\n");
    for (int later = 2; later <= 3; ++later) {
        const auto again = pass(onDisk, onFat);
        EXPECT_EQ(again.result, SyncResult::Equal) << "pass " << later << ": " << again.reason;
    }
    EXPECT_EQ(readFile(onDisk), "dated 2110\n");
    EXPECT_EQ(modifiedSinceEpoch(onDisk), std::chrono::seconds(kIn2110));
}

INSTANTIATE_TEST_SUITE_P(Mounts, RealFatByAnyName,
                         ::testing::Values("rw+", "rw+,fsname=usbstick", "rw+,subtype=fat16"),
                         [](const auto& info) {
                             const std::string options = info.param;
                             if (options == "rw+") {
                                 return std::string("TypeFusefat");
                             }
                             return options.find("fsname") != std::string::npos
                                        ? std::string("NamedUsbstick")
                                        : std::string("SubtypeFat16");
                         });

}  // namespace
}  // namespace kelvane::testing
