#include "sync/InStepMemory.h"

namespace kelvane::sync {

InStepStates InStepMemory::statesFor(const FileSlots& slots) {
    InStepStates states;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        auto& remembered = slots_[i];
        if (remembered &&
            (slots[i].tick != Tick::On || slots[i].pathText != remembered->pathText)) {
            remembered.reset();
        }
        if (remembered) {
            states[i] = remembered->state;
        }
    }
    return states;
}

void InStepMemory::remember(const FileSlots& slots, const InStepStates& states) {
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots_[i].reset();
        if (states[i] && slots[i].tick == Tick::On) {
            slots_[i] = Remembered{slots[i].pathText, *states[i]};
        }
    }
}

}  // namespace kelvane::sync
