#pragma once

#include <optional>
#include <string>

#include "platform/SessionStart.h"

namespace kelvane::testing {

// The system's start-with-the-session switch as a flag, with failures to order.
class FakeSessionStart final : public platform::SessionStart {
  public:
    bool enabled = false;
    std::optional<std::string> readFailure;    // isEnabled fails with this reason
    std::optional<std::string> changeFailure;  // enable and disable fail with this reason
    bool ignoresChanges = false;               // enable and disable say yes and do nothing
    int changes = 0;

    platform::Result<bool> isEnabled() override {
        if (readFailure) {
            return platform::Error{*readFailure};
        }
        return enabled;
    }
    platform::Status enable() override { return change(true); }
    platform::Status disable() override { return change(false); }

  private:
    platform::Status change(bool on) {
        ++changes;
        if (changeFailure) {
            return platform::Error{*changeFailure};
        }
        if (!ignoresChanges) {
            enabled = on;
        }
        return {};
    }
};

}  // namespace kelvane::testing
