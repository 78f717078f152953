#pragma once

#include <memory>
#include <string>

#include "platform/Result.h"

namespace kelvane::platform {

// Whether the system starts this very executable when the user logs in: an autostart
// desktop entry "kelvane.desktop" on Linux, the "Kelvane" value of the user's Run key on
// Windows. An entry that starts another copy of Kelvane (one that was moved, an older
// build) does not count: choosing to start with the session then points it here.
class SessionStart {
  public:
    virtual ~SessionStart() = default;

    // True when the next log-in starts this executable.
    virtual Result<bool> isEnabled() = 0;
    // Makes the next log-in start this executable, in place of any other copy.
    virtual Status enable() = 0;
    // Takes out what enable() put in; nothing else the user set up is touched.
    virtual Status disable() = 0;
};

// For the executable at `executable` (absolute, UTF-8), on the system the program was
// built for.
std::unique_ptr<SessionStart> makeSystemSessionStart(std::string executable);

}  // namespace kelvane::platform
