#pragma once

#include <array>
#include <optional>
#include <string>

#include "sync/InStep.h"
#include "sync/SyncPass.h"

namespace kelvane::sync {

// The in-step state of each slot with the path text it was seen under, so that a slot
// whose path text or tick changed since is forgotten.
class InStepMemory {
  public:
    // The states that still hold for these slots: ticked, with the same path text. The
    // others are forgotten.
    InStepStates statesFor(const FileSlots& slots);
    // What a pass that left the slots in step saw; a slot it gives nothing for is forgotten.
    void remember(const FileSlots& slots, const InStepStates& states);

  private:
    struct Remembered {
        std::string pathText;
        InStepState state;
    };
    std::array<std::optional<Remembered>, 3> slots_;
};

}  // namespace kelvane::sync
