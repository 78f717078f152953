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
#include "sync/InStepMemory.h"
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
void setTimes(const std::string& path, std::int64_t seconds, std::int32_t nanoseconds = 0) {
    const struct timespec time { static_cast<time_t>(seconds), nanoseconds };
    const struct timespec times[2] = {time, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void writeFileWithTimes(const std::string& path, const std::string& content, std::int64_t seconds,
                        std::int32_t nanoseconds = 0) {
    writeFile(path, content);
    setTimes(path, seconds, nanoseconds);
}

std::int64_t secondsOf(const std::string& path) {
    return std::chrono::duration_cast<std::chrono::seconds>(modifiedSinceEpoch(path)).count();
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
        if (mounted_) {
            unmount();
        }
    }

    void unmount() {
        if (runToEnd({"fusermount", "-u", mountPoint}).status != 0) {
            runToEnd({"umount", mountPoint});
        }
        mounted_ = false;
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

    // A pass as the window makes it, by the in-step states earlier ones left.
    sync::SyncOutcome passRemembering(const std::string& first, const std::string& second) {
        const sync::FileSlots slots{
            {{first, sync::Tick::On}, {second, sync::Tick::On}, {"", sync::Tick::Off}}};
        const auto outcome = sync::syncSelectedFiles(slots, *fileSystem, memory, {},
                                                     sync::PassTerms{inStep.statesFor(slots)});
        if (outcome.inStep) {
            inStep.remember(slots, *outcome.inStep);
        }
        return outcome;
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
    sync::InStepMemory inStep;

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

// FAT's years end with 2107, but a copy dated that far ahead never wins anyway: each pass
// says so, and the copy on FAT stays as it was.
TEST_F(RealFat, CopyDatedBeyondFatsYearsNeverWins) {
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onDisk, "dated 2110\n", kIn2110);
    writeFileWithTimes(onFat, "old on FAT\n", kOldSeconds);

    for (int attempt = 1; attempt <= 2; ++attempt) {
        const auto outcome = passRemembering(onDisk, onFat);
        EXPECT_EQ(outcome.result, SyncResult::Failed);
        EXPECT_NE(outcome.reason.find("ahead of this computer's clock"), std::string::npos)
            << outcome.reason;
    }
    EXPECT_EQ(readFile(onFat), "old on FAT\n");
}

// Saved, copied onto the stick, saved again at once: within FAT's two-second step, which
// times alone cannot tell from no change.
TEST_F(RealFat, SaveRightAfterACopyOntoFatIsCarriedOver) {
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onFat, "old on FAT\n", kOldSeconds);
    for (int attempt = 0; attempt < 5; ++attempt) {
        writeFile(onDisk, "saved " + std::to_string(attempt) + "\n");
        ASSERT_EQ(passRemembering(onDisk, onFat).result, SyncResult::Copied);
        writeFile(onDisk, "saved again " + std::to_string(attempt) + "\n");
        EXPECT_EQ(passRemembering(onDisk, onFat).result, SyncResult::Copied) << attempt;
        EXPECT_EQ(readFile(onFat), readFile(onDisk));
    }
}

// As Windows shows a stick's files after a daylight-saving change: an hour later.
TEST_F(RealFat, DaylightSavingShiftIsNoChange) {
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onDisk, "in step\n", kOddSeconds, kFraction);
    writeFileWithTimes(onFat, "old on FAT\n", kOldSeconds);
    ASSERT_EQ(passRemembering(onDisk, onFat).result, SyncResult::Copied);
    const std::int64_t copied = secondsOf(onFat);

    setTimes(onFat, copied + 3600);
    EXPECT_EQ(passRemembering(onDisk, onFat).result, SyncResult::Equal);
    setTimes(onFat, copied);
    EXPECT_EQ(passRemembering(onDisk, onFat).result, SyncResult::Equal);
    EXPECT_EQ(secondsOf(onDisk), kOddSeconds) << "the copy on disk is left alone";

    writeFileWithTimes(onDisk, "edited\n", kOddSeconds + 60);
    const auto edited = passRemembering(onDisk, onFat);
    ASSERT_EQ(edited.replaced.size(), 1U);
    EXPECT_FALSE(edited.replaced[0].hadOwnChanges);
}

// The stick is gone and a tmpfs mounted in its place is given its device number: its
// files are judged by their own times, not by FAT's two-second steps.
TEST_F(RealFat, DeviceNumberOfAGoneStickDoesNotPassItsStepsOn) {
    const std::string onDisk = folder.file("disk/notes.txt");
    const std::string onFat = mountPoint + "/notes.txt";
    writeFileWithTimes(onDisk, "written on ext4\n", kOddSeconds, kFraction);
    writeFileWithTimes(onFat, "old on FAT\n", kOldSeconds);
    ASSERT_EQ(pass(onDisk, onFat).result, SyncResult::Copied);
    struct stat fat {};
    ASSERT_EQ(::stat(mountPoint.c_str(), &fat), 0);
    unmount();
    if (runToEnd({"mount", "-t", "tmpfs", "none", mountPoint}).status != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    struct stat tmpfs {};
    const bool reused = ::stat(mountPoint.c_str(), &tmpfs) == 0 && tmpfs.st_dev == fat.st_dev;
    writeFileWithTimes(mountPoint + "/notes.txt", "saved\n", kOddSeconds, kFraction);
    writeFileWithTimes(folder.file("disk/notes.txt"), "saved again\n", kOddSeconds + 1);

    const auto outcome = pass(onDisk, mountPoint + "/notes.txt");
    runToEnd({"umount", mountPoint});
    if (!reused) {
        GTEST_SKIP() << "the tmpfs was given another device number";
    }
    EXPECT_EQ(outcome.result, SyncResult::Copied);
    EXPECT_EQ(readFile(folder.file("disk/notes.txt")), "saved again\n");
}

}  // namespace
}  // namespace kelvane::testing
