#include "settings/SyncStateText.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <utility>

namespace kelvane::settings {
namespace {

constexpr std::size_t kNanosecondDigits = 9;

// FNV-1a over the text's bytes: short, and the same on every system.
std::uint64_t fingerprintOf(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

// A number that fills the whole text; a sign only where the type has one.
template <typename Number>
std::optional<Number> wholeNumber(std::string_view text, int base = 10) {
    Number number{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number, base);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return number;
}

// The text cut at its first `separator`: what lies before it, and the rest after it.
std::pair<std::string_view, std::string_view> cutAt(std::string_view text, char separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        return {text, {}};
    }
    return {text.substr(0, at), text.substr(at + 1)};
}

}  // namespace

std::string syncStateText(const sync::InStepState& state, std::string_view pathText) {
    char text[96];
    std::snprintf(text, sizeof text, "%" PRId64 ".%09" PRId32 " %" PRIu64 " %016" PRIx64,
                  state.modified.seconds, state.modified.nanoseconds, state.size,
                  fingerprintOf(pathText));
    return text;
}

std::optional<sync::InStepState> syncStateFrom(std::string_view text, std::string_view pathText) {
    const auto [seconds, afterDot] = cutAt(text, '.');
    const auto [nanoseconds, afterTime] = cutAt(afterDot, ' ');
    const auto [size, fingerprint] = cutAt(afterTime, ' ');
    const auto wholeSeconds = wholeNumber<std::int64_t>(seconds);
    const auto fraction = nanoseconds.size() == kNanosecondDigits && nanoseconds[0] != '-'
                              ? wholeNumber<std::int32_t>(nanoseconds)
                              : std::nullopt;
    const auto bytes = wholeNumber<std::uint64_t>(size);
    const auto path = wholeNumber<std::uint64_t>(fingerprint, 16);
    if (!wholeSeconds || !fraction || !bytes || path != fingerprintOf(pathText)) {
        return std::nullopt;
    }
    return sync::InStepState{{*wholeSeconds, *fraction}, *bytes};
}

}  // namespace kelvane::settings
