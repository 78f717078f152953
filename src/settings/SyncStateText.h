#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sync/InStep.h"

namespace kelvane::settings {

// A slot's in-step state as its [SyncState] key holds it: the time in seconds and
// nanoseconds since 1970, the size, and a fingerprint of the path text it was seen under,
// "1700000000.123456789 4096 8c3f0e2a71b5d946". A path edited by hand since no longer
// matches its fingerprint, so its state is forgotten as a retyped one is.
std::string syncStateText(const sync::InStepState& state, std::string_view pathText);

// The state such a text holds for that path text; nothing for any other text or path.
std::optional<sync::InStepState> syncStateFrom(std::string_view text, std::string_view pathText);

}  // namespace kelvane::settings
