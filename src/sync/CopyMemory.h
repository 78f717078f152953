#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace kelvane::sync {

// What earlier copies of this run showed about their targets, so a target whose file
// system cannot hold the source's time is never copied again and again: the volumes
// that kept only two-second steps (whatever their mount is called), and the time each
// such target was left with in place of its source's. Small and bounded; a new run
// learns it again from its first copy.
class CopyMemory {
  public:
    void rememberTwoSecondVolume(std::uint64_t device);
    bool isTwoSecondVolume(std::uint64_t device) const;

    // The copy onto target set sourceTime; the target showed heldTime instead.
    void rememberHeldTime(const std::string& target, platform::FileTime sourceTime,
                          platform::FileTime heldTime);
    // True while the target still shows the time it was left with and the source the
    // time that was copied.
    bool isHeldTime(const std::string& target, platform::FileTime sourceTime,
                    platform::FileTime heldTime) const;

  private:
    struct HeldTime {
        std::string target;
        platform::FileTime sourceTime;
        platform::FileTime heldTime;
    };
    static constexpr std::size_t kMostRemembered = 32;

    std::vector<std::uint64_t> twoSecondVolumes_;
    std::deque<HeldTime> heldTimes_;
};

// The memory the window's passes share for the whole run of the program.
CopyMemory& memoryOfThisRun();

}  // namespace kelvane::sync
