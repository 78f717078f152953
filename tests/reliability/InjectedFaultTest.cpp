// Faults on a real pass in a separate process: system calls made to fail by strace,
// permissions that an ordinary user lacks, and files changed between the pass's look and
// its copy. Each must end in the failure outcome (exit status 1), with the source and the
// target exactly as they were and no temporary file of ours left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>

#include "PassScene.h"

namespace kelvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kSourceBytes = 3 << 20;  // three read/write rounds of the copy
constexpr std::int64_t kTargetBytes = 4096;
constexpr int kFailed = 1;
constexpr const char* kNobody = "65534";

class InjectedFault : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { letChildrenRunUnderPtrace(); }

    void expectCleanFailure(const Ended& ended) {
        EXPECT_EQ(ended.status, kFailed) << ended.output;
        EXPECT_EQ(ended.output.rfind("Failed: ", 0), 0u) << ended.output;
        EXPECT_EQ(scene.temporaryFiles(), std::vector<std::string>{});
        std::cout << "[ outcome  ] " << ended.output;
    }

    void expectBothIntact() {
        EXPECT_EQ(scene.targetHolds(), Held::OldFile);
        EXPECT_TRUE(scene.sourceIntact());
    }

    PassScene scene{kSourceBytes, kTargetBytes};
};

// One system call of the copy made to fail with an error.
struct FailingCall {
    const char* name;  // names the test
    CopyPath path;
    const char* syscall;
    int nth;  // which call of that name, counted from the temporary file's creation
    const char* error;
};

// Keeps the test list readable: a case prints as its name.
void PrintTo(const FailingCall& call, std::ostream* out) {
    *out << call.name;
}

class FailingSystemCall : public InjectedFault,
                          public ::testing::WithParamInterface<FailingCall> {};

TEST_P(FailingSystemCall, EndsInFailureWithBothFilesIntact) {
    if (!commandWorks({"strace", "-V"})) {
        GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
    }
    const FailingCall& fault = GetParam();
    const auto stretch = scene.recordCopyStretch(fault.path);
    const Syscall* call = nthCall(stretch, fault.syscall, fault.nth);
    ASSERT_NE(call, nullptr) << "a clean pass made no call " << fault.nth << " to "
                             << fault.syscall;

    const Injection failure{fault.syscall, std::string("error=") + fault.error, call->occurrence};
    expectCleanFailure(runToEnd(scene.tracedPass(fault.path, {failure})));
    expectBothIntact();
}

INSTANTIATE_TEST_SUITE_P(
    Copy, FailingSystemCall,
    ::testing::Values(
        FailingCall{"DiskFullOnWrite", CopyPath::ReadWrite, "write", 2, "ENOSPC"},
        FailingCall{"IoErrorOnWrite", CopyPath::ReadWrite, "write", 1, "EIO"},
        FailingCall{"IoErrorOnRead", CopyPath::ReadWrite, "read", 2, "EIO"},
        FailingCall{"DiskFullInKernelCopy", CopyPath::Kernel, "copy_file_range", 1, "ENOSPC"},
        FailingCall{"IoErrorInKernelCopy", CopyPath::Kernel, "copy_file_range", 1, "EIO"},
        FailingCall{"DiskFullOnCreate", CopyPath::Kernel, "openat", 1, "ENOSPC"},
        FailingCall{"NotPermittedSettingTheTime", CopyPath::Kernel, "utimensat", 1, "EPERM"},
        FailingCall{"IoErrorOnFlush", CopyPath::Kernel, "fsync", 1, "EIO"},
        FailingCall{"IoErrorOnClose", CopyPath::Kernel, "close", 1, "EIO"},
        FailingCall{"BusyOnRename", CopyPath::Kernel, "rename", 1, "EBUSY"},
        FailingCall{"CrossDeviceOnRename", CopyPath::Kernel, "rename", 1, "EXDEV"}),
    [](const ::testing::TestParamInfo<FailingCall>& info) { return info.param.name; });

// Root may read and write anything, so permission faults run the pass as "nobody".
class AsOrdinaryUser : public InjectedFault {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "switching to the user nobody needs root";
        }
        if (!commandWorks({"setpriv", "--version"})) {
            GTEST_SKIP() << "setpriv is not installed (util-linux)";
        }
        // The build folder may be closed to others: nobody runs a copy of the tool.
        tool = scene.folder().file("kelvane_pass_tool");
        fs::copy_file(passTool(), tool);
        for (const char* sub : {"", "a", "b"}) {
            fs::permissions(scene.folder().file(sub), fs::perms(0755));
        }
    }

    Ended passAsNobody(const std::string& target = {}) {
        return runToEnd({"setpriv", std::string("--reuid=") + kNobody,
                         std::string("--regid=") + kNobody, "--clear-groups", "--", tool,
                         scene.source(), target.empty() ? scene.target() : target});
    }

    std::string tool;
};

TEST_F(AsOrdinaryUser, UnreadableSourceEndsInFailure) {
    ASSERT_EQ(::chown(scene.folder().file("b").c_str(), 65534, 65534), 0);
    fs::permissions(scene.source(), fs::perms::none);

    const Ended ended = passAsNobody();

    fs::permissions(scene.source(), fs::perms(0644));
    expectCleanFailure(ended);
    EXPECT_NE(ended.output.find("Permission denied"), std::string::npos);
    expectBothIntact();
}

TEST_F(AsOrdinaryUser, TargetFolderWithoutWriteRightEndsInFailure) {
    fs::permissions(scene.target(), fs::perms(0666));  // the file itself may be written

    const Ended ended = passAsNobody();

    expectCleanFailure(ended);
    EXPECT_NE(ended.output.find("Permission denied"), std::string::npos);
    expectBothIntact();
}

// A stick mounted by the system: its top belongs to root, so no trash can be made there
// for this user, and the home trash is on another file system.
TEST_F(AsOrdinaryUser, AVolumeWhoseTopCannotBeWrittenKeepsTheCopyBesideTheFile) {
    const std::string top = scene.folder().file("stick");
    fs::create_directory(top);
    if (::mount("tmpfs", top.c_str(), "tmpfs", 0, "size=4m,mode=0755") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
    }
    const std::string docs = top + "/docs";
    const std::string target = docs + "/data.bin";
    fs::create_directory(docs);
    writeFile(target, "old");
    setModified(target, 1'500'000'000);
    ASSERT_EQ(::chown(docs.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);

    const Ended ended = passAsNobody(target);
    const auto kept = fs::exists(docs + "/.kelvane-replaced")
                          ? scene.folder().entries("stick/docs/.kelvane-replaced")
                          : std::vector<std::string>{};
    const std::string keptBytes =
        kept.size() == 1 ? readFile(docs + "/.kelvane-replaced/" + kept[0]) : "";
    ::umount(top.c_str());

    EXPECT_EQ(ended.status, 0) << ended.output;
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].rfind("data (replaced ", 0), 0u) << kept[0];
    EXPECT_EQ(keptBytes, "old");
}

// The pass stops itself just before its copy, after it has looked at both files; the
// test changes the world there and lets it go on.
class ChangedBeforeTheCopy : public InjectedFault {
  protected:
    Ended passChangedBeforeCopy(const std::function<void()>& change) {
        ChildProcess pass({passTool(), "--stop-before-copy", scene.source(), scene.target()});
        if (!pass.waitUntilStopped()) {
            ADD_FAILURE() << "the pass ended before its copy";
        } else {
            change();
            pass.signal(SIGCONT);
        }
        return pass.finish();
    }
};

TEST_F(ChangedBeforeTheCopy, SourceDeletedEndsInFailure) {
    expectCleanFailure(passChangedBeforeCopy([&] { fs::remove(scene.source()); }));
    EXPECT_EQ(scene.targetHolds(), Held::OldFile);
}

// The user saves into the target while the pass is under way: that save is the newest
// work and stays; the next pass decides afresh and carries it over.
TEST_F(ChangedBeforeTheCopy, TargetEditedMeanwhileIsLeftAsTheUserSavedIt) {
    const Ended ended =
        passChangedBeforeCopy([&] { writeFile(scene.target(), "saved while the pass ran"); });

    expectCleanFailure(ended);
    EXPECT_EQ(ended.output, "Failed: File2 changed while it was being updated\n");
    EXPECT_EQ(readFile(scene.target()), "saved while the pass ran");
    EXPECT_TRUE(scene.sourceIntact());
    const Ended next = runToEnd(scene.passCommand());
    EXPECT_EQ(next.output, "Copied: File1 updated \n");
    EXPECT_EQ(readFile(scene.source()), "saved while the pass ran");
}

TEST_F(ChangedBeforeTheCopy, TargetReplacedByAFolderEndsInFailure) {
    expectCleanFailure(passChangedBeforeCopy([&] {
        fs::remove(scene.target());
        fs::create_directory(scene.target());
    }));
    EXPECT_TRUE(fs::is_directory(scene.target()));
    EXPECT_TRUE(fs::is_empty(scene.target()));
    EXPECT_TRUE(scene.sourceIntact());
}

// Once the new content has taken the target's place, setting the time once more may be
// refused; the pass is then judged by the time the target shows.
class TimeAfterTheRename : public InjectedFault {
  protected:
    void SetUp() override {
        if (!commandWorks({"strace", "-V"})) {
            GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
        }
    }

    // The pass with every call to utimensat from the nth of the copy on made to do what
    // action says.
    Ended passWith(const std::string& action, int nth) {
        const auto stretch = scene.recordCopyStretch(CopyPath::Kernel);
        const Syscall* call = nthCall(stretch, "utimensat", nth);
        if (call == nullptr) {
            ADD_FAILURE() << "a clean pass made no call " << nth << " to utimensat";
            return Ended{};
        }
        const std::string fromThereOn = ":when=" + std::to_string(call->occurrence) + "+";
        return runToEnd(
            scene.tracedPass(CopyPath::Kernel, {Injection{"utimensat", action + fromThereOn, 0}}));
    }
};

TEST_F(TimeAfterTheRename, RefusedButAlreadyRightIsASuccess) {
    const Ended ended = passWith("error=EPERM", 2);

    EXPECT_EQ(ended.status, 0) << ended.output;
    EXPECT_EQ(ended.output, "Copied: File2 updated \n");
    EXPECT_EQ(scene.targetHolds(), Held::NewFile);
    EXPECT_EQ(scene.temporaryFiles(), std::vector<std::string>{});
}

TEST_F(TimeAfterTheRename, NeverSetIsAFailureThatSaysSo) {
    const Ended ended = passWith("retval=0", 1);  // both calls skipped: no time is set

    EXPECT_EQ(ended.status, kFailed) << ended.output;
    EXPECT_NE(ended.output.find("did not keep the source's time"), std::string::npos)
        << ended.output;
    EXPECT_TRUE(sameBytes(scene.target(), scene.source())) << "the new content is in place";
    EXPECT_TRUE(scene.sourceIntact());
    EXPECT_EQ(scene.temporaryFiles(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kelvane::testing
