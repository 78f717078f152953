#pragma once

namespace kelvane::platform {

// A descriptor that becomes readable when the system asks the program to end (SIGTERM
// or SIGHUP, as a desktop session sends at log-out), so the event loop can save and
// close in order. Every such signal is caught for the rest of the run, so a second one
// never kills the program halfway through its shutdown. -1 where the system ends
// programs by window messages instead.
int terminationSignalDescriptor();

// Reads away what the signals so far left on the descriptor; it becomes readable again
// with the next signal. Call it each time the descriptor is found readable.
void acknowledgeTerminationSignals();

}  // namespace kelvane::platform
