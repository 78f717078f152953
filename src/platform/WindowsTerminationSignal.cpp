#include "platform/TerminationSignal.h"

namespace kelvane::platform {

// Windows ends a session through window messages, which Qt turns into a session-end
// request of its own; there is no signal to watch.
int terminationSignalDescriptor() {
    return -1;
}

void acknowledgeTerminationSignals() {}

}  // namespace kelvane::platform
