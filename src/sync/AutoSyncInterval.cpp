#include "sync/AutoSyncInterval.h"

namespace kelvane::sync {

bool isNumericString(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

IntervalDecision judgeInterval(std::string_view text) {
    if (!isNumericString(text) || text.empty()) {
        return {false, kOnlyNumbers, 0};
    }
    // Leading zeros are kept in the stored text but carry no value; any number of them
    // is fine, and so is a text far too long for an integer.
    const auto firstSignificant = text.find_first_not_of('0');
    const std::string_view significant = firstSignificant == std::string_view::npos
                                             ? std::string_view()
                                             : text.substr(firstSignificant);
    if (significant.size() > 2) {
        return {false, kMaxInterval, 0};
    }
    int seconds = 0;
    for (const char c : significant) {
        seconds = seconds * 10 + (c - '0');
    }
    if (seconds > 60) {
        return {false, kMaxInterval, 0};
    }
    if (seconds == 0) {
        return {false, kMinInterval, 0};
    }
    return {true, "", seconds * 1000};
}

}  // namespace kelvane::sync
