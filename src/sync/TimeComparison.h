#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

namespace kelvane::sync {

// The step a stored time shows, in nanoseconds: a file system that keeps less than
// nanoseconds cuts the sub-second part, so it ends in zeros. Ending in 00 shows 100 ns
// (NTFS, SMB), in 000 microseconds, in 0000000 the 10 ms of exFAT, in 000000000 (no
// sub-second part at all) whole seconds.
std::int64_t precisionOf(platform::FileTime time);

// Compares two times at the coarser of the two precisions they show, so a copy onto a
// file system that keeps less than its source still compares equal, while two saves
// within one second compare apart wherever both file systems keep sub-second times.
// Positive when a is later, negative when b is, zero when they count as equal.
int compareAtCoarserPrecision(platform::FileTime a, platform::FileTime b);

// Compares two times as they stand, to the nanosecond: positive when a is later.
int compareExactly(platform::FileTime a, platform::FileTime b);

// Less than two seconds apart: one step of the FAT family, which keeps two-second times
// and may round either way.
bool withinTwoSeconds(platform::FileTime a, platform::FileTime b);

// A copy's time read back as a FAT volume leaves it: whole seconds, less than two
// seconds from the time that was set.
bool looksLikeTwoSecondStep(platform::FileTime set, platform::FileTime readBack);

// An hour apart, within a two-second step: a daylight-saving change as a FAT volume shows
// it on Windows, which keeps FAT times in local time.
bool isHourShift(platform::FileTime before, platform::FileTime after);

// More than `seconds` ahead of this computer's clock.
bool isFarAhead(platform::FileTime time, std::int64_t seconds);

// "2099-01-01 12:00:00", in local time.
std::string localDateTimeText(platform::FileTime time);

}  // namespace kelvane::sync
