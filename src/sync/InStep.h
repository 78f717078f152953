#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/FileSystem.h"

namespace kelvane::sync {

// What a ticked file showed when the ticked files were last in step: its last-modified
// time at full precision and its size. A file that shows anything else has changed since.
struct InStepState {
    platform::FileTime modified;
    std::uint64_t size = 0;

    friend bool operator==(const InStepState&, const InStepState&) = default;
};

// One for each slot, slot 1 first; nothing for a slot without one.
using InStepStates = std::array<std::optional<InStepState>, 3>;

}  // namespace kelvane::sync
