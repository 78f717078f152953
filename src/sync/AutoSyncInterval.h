#pragma once

#include <string>
#include <string_view>

namespace kelvane::sync {

// True when every character is an ASCII digit 0 to 9 (and for the empty text).
bool isNumericString(std::string_view text);

// Whether the interval typed in the window may switch auto sync on.
struct IntervalDecision {
    bool accepted = false;
    std::string message;   // the refusal's message box text
    int milliseconds = 0;  // the timer period when accepted
};

inline constexpr const char* kOnlyNumbers = "Enter only numbers to Sync Interval";
inline constexpr const char* kMaxInterval = "Max Sync Interval is 60 seconds";
inline constexpr const char* kMinInterval = "Min Sync Interval is 1 second";

// Digits only (an empty box is refused with the same words), then at most 60 seconds,
// then at least 1: a zero period would either never tick or run passes back to back.
IntervalDecision judgeInterval(std::string_view text);

}  // namespace kelvane::sync
