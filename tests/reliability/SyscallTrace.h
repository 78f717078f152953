#pragma once

#include <string>
#include <vector>

namespace kelvane::testing {

// One system call of a traced run: its name and its number among the calls of that name
// since the program started, which is the number strace's inject=NAME:...:when=N takes.
struct Syscall {
    std::string name;
    int occurrence = 0;
    std::string line;  // as strace printed it, for messages
};

// Every call in an strace output file (strace -o FILE), in order.
std::vector<Syscall> readTrace(const std::string& traceFile);

// The calls from the first open for writing (our temporary file) to the end of the
// program: the stretch in which a copy can be interrupted. Empty when nothing was written.
std::vector<Syscall> copyStretch(const std::vector<Syscall>& trace);

// The nth call (1 for the first) of that name within the stretch, or nullptr.
const Syscall* nthCall(const std::vector<Syscall>& stretch, const std::string& name, int nth);

// What strace should do at one kind of call: "signal=KILL", "error=ENOSPC", ... at the
// given occurrence, or at every call of that name when occurrence is 0.
struct Injection {
    std::string syscall;
    std::string action;
    int occurrence = 0;
};

// The strace command line that runs command with these injections, writing the trace to
// traceFile (/dev/null to drop it).
std::vector<std::string> underStrace(const std::vector<Injection>& injections,
                                     const std::string& traceFile,
                                     const std::vector<std::string>& command);

}  // namespace kelvane::testing
