#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/TerminationSignal.h"

namespace kelvane::platform {
namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte down the pipe. The pipe does not block, so
// a burst of signals that fills it loses bytes, never the wake-up.
extern "C" void onTermination(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

int terminationSignalDescriptor() {
    if (signalPipe[0] >= 0) {
        return signalPipe[0];
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
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

void acknowledgeTerminationSignals() {
    if (signalPipe[0] < 0) {
        return;
    }
    char bytes[64];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
}

}  // namespace kelvane::platform
