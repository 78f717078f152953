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
    // A file on the device showed this time. One that no two-second volume can hold (a
    // fraction of a second, an odd second) shows that the volume behind the device number
    // is no such volume, or no longer: a stick unplugged, and another file system mounted
    // that was given its number.
    void noteTimeOnVolume(std::uint64_t device, platform::FileTime time);

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
