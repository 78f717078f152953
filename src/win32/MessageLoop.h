#pragma once

#include <windows.h>

#include <functional>

namespace kelvane::win32 {

// The thread's messages until WM_QUIT; its exit code. `dialogKeys` takes a message for a
// window that handles Tab, Enter and Esc as a dialog does, and says whether it did.
int runMessageLoop(const std::function<bool(MSG&)>& dialogKeys);

// Handles messages until `done` or `milliseconds` have passed; a WM_QUIT on the way is
// posted again for the main loop.
void pumpMessagesUntil(const std::function<bool()>& done, ULONGLONG milliseconds);

}  // namespace kelvane::win32
