#pragma once

namespace kelvane::platform {

// A descriptor that becomes readable when the system asks the program to end (SIGTERM
// or SIGHUP, as a desktop session sends at log-out), so the event loop can save and
// close in order. -1 where the system ends programs by window messages instead.
int terminationSignalDescriptor();

}  // namespace kelvane::platform
