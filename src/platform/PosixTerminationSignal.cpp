#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/TerminationSignal.h"

namespace kelvane::platform {
namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte down the pipe.
extern "C" void onTermination(int) {
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

int terminationSignalDescriptor() {
    if (signalPipe[0] >= 0) {
        return signalPipe[0];
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = onTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    return signalPipe[0];
}

}  // namespace kelvane::platform
