#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SyscallTrace.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace kelvane::testing {

// What a target held after an interrupted pass.
enum class Held { OldFile, NewFile, Torn };

// How the copy moves the bytes: the kernel's copy_file_range, or read and write, which
// the copy falls back to between file systems (forced here by failing copy_file_range
// with EXDEV).
enum class CopyPath { Kernel, ReadWrite };

// Two folders with one file each: a/data.bin (newer, the source) and b/data.bin (older,
// the target), plus a saved copy of both so a test can tell old from new and put the
// old target back. Passes run in a separate process, kelvane_pass_tool.
class PassScene {
  public:
    PassScene(std::int64_t sourceBytes, std::int64_t targetBytes);

    std::string source() const { return folder_.file("a/data.bin"); }
    std::string target() const { return folder_.file("b/data.bin"); }
    const TempFolder& folder() const { return folder_; }

    // The pass tool with the two paths, as an argument list.
    std::vector<std::string> passCommand() const;
    // The same under strace, with the injections that make it take this copy path.
    std::vector<std::string> tracedPass(CopyPath path, std::vector<Injection> injections,
                                        const std::string& traceFile = "/dev/null") const;
    // The calls of a clean pass along that path, from the temporary file's creation on.
    // Puts the old target back afterwards.
    std::vector<Syscall> recordCopyStretch(CopyPath path);

    void restoreOldTarget() const;
    Held targetHolds() const;
    bool sourceIntact() const;
    // True when the trash holds the old target's bytes.
    bool oldTargetKept() const;
    // Our temporary files in either folder or the trash.
    std::vector<std::string> temporaryFiles() const;

  private:
    TempFolder folder_;
};

// The pass tool built beside the tests.
std::string passTool();

// Children traced by strace cannot run LeakSanitizer (it needs ptrace itself).
void letChildrenRunUnderPtrace();

// A file of pseudo-random bytes, different for each seed, written in large blocks.
void writePattern(const std::string& path, std::int64_t bytes, std::uint64_t seed);
bool sameBytes(const std::string& a, const std::string& b);
bool sameModifiedTime(const std::string& a, const std::string& b);

}  // namespace kelvane::testing
