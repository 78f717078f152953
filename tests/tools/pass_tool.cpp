// Runs one real sync pass over the files named on the command line, all ticked, and
// prints how it ended. The reliability suites run it under strace, kill it mid-copy and
// inject faults into it, so it must do exactly what the window's pass does and no more.
//
//   kelvane_pass_tool [--stop-before-copy] PATH PATH [PATH]
//
// Exit status: 0 copied or equal, 1 failed, 2 refused, 3 wrong usage.
// --stop-before-copy stops the process (SIGSTOP) just before each copy, after the pass
// has looked at the files, so a test can change the world at that moment and continue it.
#include <signal.h>

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/FaultyFileSystem.h"
#include "sync/SyncPass.h"

namespace {

using kelvane::sync::SyncOutcome;
using kelvane::sync::SyncResult;

constexpr int kUsageError = 3;

struct Arguments {
    bool stopBeforeCopy = false;
    std::vector<std::string> paths;
};

Arguments parseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--stop-before-copy") {
            arguments.stopBeforeCopy = true;
        } else {
            arguments.paths.emplace_back(argument);
        }
    }
    return arguments;
}

kelvane::sync::FileSlots tickedSlots(const std::vector<std::string>& paths) {
    kelvane::sync::FileSlots slots;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        slots[i] = kelvane::sync::FileSlot{paths[i], kelvane::sync::Tick::On};
    }
    return slots;
}

// One line, so a test can match it: the result word, then what goes with it.
int report(const SyncOutcome& outcome) {
    switch (outcome.result) {
        case SyncResult::Copied:
            std::cout << "Copied: " << outcome.statusPrefix << std::endl;
            return 0;
        case SyncResult::Equal:
            std::cout << "Equal" << std::endl;
            return 0;
        case SyncResult::Failed:
            std::cout << "Failed: " << outcome.reason << std::endl;
            return 1;
        case SyncResult::Refused:
            std::cout << "Refused: " << outcome.message << std::endl;
            return 2;
        case SyncResult::Cancelled:
            std::cout << "Cancelled" << std::endl;
            return 3;
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = parseArguments(argc, argv);
    if (arguments.paths.size() < 2 || arguments.paths.size() > 3) {
        std::cerr << "usage: kelvane_pass_tool [--stop-before-copy] PATH PATH [PATH]\n";
        return kUsageError;
    }
    kelvane::testing::FaultyFileSystem fileSystem;
    if (arguments.stopBeforeCopy) {
        fileSystem.beforeCopy = [](const std::string&, const std::string&) { ::raise(SIGSTOP); };
    }
    return report(kelvane::sync::syncSelectedFiles(tickedSlots(arguments.paths), fileSystem));
}
