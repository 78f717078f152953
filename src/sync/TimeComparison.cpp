#include "sync/TimeComparison.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace kelvane::sync {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kSecondsPerHour = 3600;

platform::FileTime shiftedBy(platform::FileTime time, std::int64_t seconds) {
    time.seconds += seconds;
    return time;
}

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

int compareExactly(platform::FileTime a, platform::FileTime b) {
    if (a.seconds != b.seconds) {
        return a.seconds > b.seconds ? 1 : -1;
    }
    if (a.nanoseconds != b.nanoseconds) {
        return a.nanoseconds > b.nanoseconds ? 1 : -1;
    }
    return 0;
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

bool isHourShift(platform::FileTime before, platform::FileTime after) {
    return withinTwoSeconds(shiftedBy(before, kSecondsPerHour), after) ||
           withinTwoSeconds(shiftedBy(before, -kSecondsPerHour), after);
}

bool isFarAhead(platform::FileTime time, std::int64_t seconds) {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return time.seconds > now + seconds;
}

std::string localDateTimeText(platform::FileTime time) {
    const auto since = static_cast<std::time_t>(time.seconds);
    std::tm local{};
#ifdef _WIN32
    const bool converted = localtime_s(&local, &since) == 0;
#else
    const bool converted = localtime_r(&since, &local) != nullptr;
#endif
    char text[32];
    if (!converted || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) {
        return std::to_string(time.seconds) + " seconds after 1970";
    }
    return text;
}

}  // namespace kelvane::sync
