#include "sync/CopyMemory.h"

#include <algorithm>

namespace kelvane::sync {

void CopyMemory::rememberTwoSecondVolume(std::uint64_t device) {
    if (isTwoSecondVolume(device)) {
        return;
    }
    if (twoSecondVolumes_.size() == kMostRemembered) {
        twoSecondVolumes_.erase(twoSecondVolumes_.begin());
    }
    twoSecondVolumes_.push_back(device);
}

bool CopyMemory::isTwoSecondVolume(std::uint64_t device) const {
    return std::find(twoSecondVolumes_.begin(), twoSecondVolumes_.end(), device) !=
           twoSecondVolumes_.end();
}

void CopyMemory::noteTimeOnVolume(std::uint64_t device, platform::FileTime time) {
    if (time.nanoseconds != 0 || time.seconds % 2 != 0) {
        std::erase(twoSecondVolumes_, device);
    }
}

void CopyMemory::rememberHeldTime(const std::string& target, platform::FileTime sourceTime,
                                  platform::FileTime heldTime) {
    // Only a target's latest copy matters.
    std::erase_if(heldTimes_, [&](const HeldTime& held) { return held.target == target; });
    if (heldTimes_.size() == kMostRemembered) {
        heldTimes_.pop_front();
    }
    heldTimes_.push_back(HeldTime{target, sourceTime, heldTime});
}

bool CopyMemory::isHeldTime(const std::string& target, platform::FileTime sourceTime,
                            platform::FileTime heldTime) const {
    return std::any_of(heldTimes_.begin(), heldTimes_.end(), [&](const HeldTime& held) {
        return held.target == target && held.sourceTime == sourceTime && held.heldTime == heldTime;
    });
}

CopyMemory& memoryOfThisRun() {
    static CopyMemory memory;
    return memory;
}

}  // namespace kelvane::sync
