#include "sync/TimeComparison.h"

#include <algorithm>

namespace kelvane::sync {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

}  // namespace

std::int64_t precisionOf(platform::FileTime time) {
    std::int64_t step = kNanosecondsPerSecond;
    while (time.nanoseconds % step != 0) {
        step /= 10;
    }
    return step;
}

int compareAtCoarserPrecision(platform::FileTime a, platform::FileTime b) {
    if (a.seconds != b.seconds) {
        return a.seconds > b.seconds ? 1 : -1;
    }
    const std::int64_t step = std::max(precisionOf(a), precisionOf(b));
    const std::int64_t stepsA = a.nanoseconds / step;
    const std::int64_t stepsB = b.nanoseconds / step;
    if (stepsA == stepsB) {
        return 0;
    }
    return stepsA > stepsB ? 1 : -1;
}

bool withinTwoSeconds(platform::FileTime a, platform::FileTime b) {
    const std::int64_t seconds = a.seconds - b.seconds;
    if (seconds > 2 || seconds < -2) {
        return false;  // also keeps the sum below from overflowing
    }
    const std::int64_t apart = seconds * kNanosecondsPerSecond + (a.nanoseconds - b.nanoseconds);
    return apart < 2 * kNanosecondsPerSecond && apart > -2 * kNanosecondsPerSecond;
}

bool looksLikeTwoSecondStep(platform::FileTime set, platform::FileTime readBack) {
    return readBack.nanoseconds == 0 && withinTwoSeconds(set, readBack);
}

}  // namespace kelvane::sync
