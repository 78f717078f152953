#include "sync/TimeComparison.h"

#include <algorithm>
#include <array>

namespace kelvane::sync {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

}  // namespace

std::int64_t precisionOf(platform::FileTime time) {
    static constexpr std::array<std::int64_t, 4> kSteps = {kNanosecondsPerSecond, 1'000'000, 1'000,
                                                           100};
    for (const std::int64_t step : kSteps) {
        if (time.nanoseconds % step == 0) {
            return step;
        }
    }
    return 1;
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
