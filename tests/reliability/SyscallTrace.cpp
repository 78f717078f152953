#include "SyscallTrace.h"

#include <cctype>
#include <fstream>
#include <map>

namespace kelvane::testing {
namespace {

// "1234 openat(AT_FDCWD, ...) = 3" or "openat(...) = 3": the name before the bracket.
// Signal and exit notes ("--- SIGCHLD", "+++ exited") carry no call.
std::string callName(const std::string& line) {
    std::size_t start = 0;
    while (start < line.size() && std::isdigit(static_cast<unsigned char>(line[start]))) {
        ++start;
    }
    while (start < line.size() && line[start] == ' ') {
        ++start;
    }
    const auto bracket = line.find('(', start);
    if (bracket == std::string::npos || bracket == start) {
        return "";
    }
    const std::string name = line.substr(start, bracket - start);
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
            return "";
        }
    }
    return name;
}

// The copy begins where the first file is opened for writing: our temporary file, or the
// target itself in a copy that (wrongly) writes in place.
bool opensForWriting(const Syscall& call) {
    return call.name == "openat" && (call.line.find("O_WRONLY") != std::string::npos ||
                                     call.line.find("O_RDWR") != std::string::npos);
}

}  // namespace

std::vector<Syscall> readTrace(const std::string& traceFile) {
    std::ifstream in(traceFile);
    std::map<std::string, int> seen;
    std::vector<Syscall> calls;
    std::string line;
    while (std::getline(in, line)) {
        const std::string name = callName(line);
        if (!name.empty()) {
            calls.push_back(Syscall{name, ++seen[name], line});
        }
    }
    return calls;
}

std::vector<Syscall> copyStretch(const std::vector<Syscall>& trace) {
    std::vector<Syscall> stretch;
    bool inside = false;
    for (const Syscall& call : trace) {
        inside = inside || opensForWriting(call);
        if (inside && call.name != "exit_group") {
            stretch.push_back(call);
        }
    }
    return stretch;
}

const Syscall* nthCall(const std::vector<Syscall>& stretch, const std::string& name, int nth) {
    for (const Syscall& call : stretch) {
        if (call.name == name && --nth == 0) {
            return &call;
        }
    }
    return nullptr;
}

std::vector<std::string> underStrace(const std::vector<Injection>& injections,
                                     const std::string& traceFile,
                                     const std::vector<std::string>& command) {
    std::vector<std::string> argv = {"strace", "-f", "-qq", "-o", traceFile};
    for (const Injection& injection : injections) {
        std::string rule = "inject=" + injection.syscall + ":" + injection.action;
        if (injection.occurrence > 0) {
            rule += ":when=" + std::to_string(injection.occurrence);
        }
        argv.insert(argv.end(), {"-e", rule});
    }
    argv.emplace_back("--");
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
}

}  // namespace kelvane::testing
