#include "settings/LeadingNumber.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kelvane::settings {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Walks a text the way Val does: blanks between any two characters do not count.
class NumberScanner {
  public:
    explicit NumberScanner(std::string_view text) : text_(text) {}

    char peek() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) {
            ++at_;
        }
        return at_ < text_.size() ? text_[at_] : '\0';
    }
    void take() { ++at_; }
    std::size_t position() const { return at_; }
    void rewind(std::size_t position) { at_ = position; }

    // Appends the digits that follow; returns how many there were.
    std::size_t takeDigits(std::string& into) {
        std::size_t count = 0;
        while (isDigit(peek())) {
            into += peek();
            take();
            ++count;
        }
        return count;
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// The exponent part ("e-12"), or nothing when the letter is not followed by digits.
std::string exponentPart(NumberScanner& scanner) {
    const std::size_t start = scanner.position();
    const char letter = scanner.peek();
    if (letter != 'e' && letter != 'E' && letter != 'd' && letter != 'D') {
        return {};
    }
    scanner.take();
    std::string exponent = "e";
    if (scanner.peek() == '+' || scanner.peek() == '-') {
        exponent += scanner.peek();
        scanner.take();
    }
    if (scanner.takeDigits(exponent) == 0) {
        scanner.rewind(start);
        return {};
    }
    return exponent;
}

// The leading number without blanks, in the form std::from_chars reads ("12.5e3"), or
// empty when no digit leads.
std::string compactNumber(NumberScanner& scanner, bool& negative) {
    negative = false;
    if (scanner.peek() == '+' || scanner.peek() == '-') {
        negative = scanner.peek() == '-';
        scanner.take();
    }
    std::string number;
    std::size_t digits = scanner.takeDigits(number);
    if (scanner.peek() == '.') {
        number += '.';
        scanner.take();
        digits += scanner.takeDigits(number);
    }
    if (digits == 0) {
        return {};
    }
    return number + exponentPart(scanner);
}

}  // namespace

double leadingNumber(std::string_view text) {
    NumberScanner scanner(text);
    bool negative = false;
    const std::string number = compactNumber(scanner, negative);
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc() || !std::isfinite(value)) {
        return 0;
    }
    return negative ? -value : value;
}

double roundHalfEven(double value) {
    const double down = std::floor(value);
    const double fraction = value - down;
    if (fraction < 0.5) {
        return down;
    }
    if (fraction > 0.5) {
        return down + 1;
    }
    return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

int checkBoxStateFrom(std::string_view text) {
    const double state = roundHalfEven(leadingNumber(text));
    if (state == 1 || state == 2) {
        return static_cast<int>(state);
    }
    return 0;
}

sync::Tick tickFromStored(int state) {
    switch (state) {
        case 1:
            return sync::Tick::On;
        case 2:
            return sync::Tick::Greyed;
        default:
            return sync::Tick::Off;
    }
}

int storedTick(sync::Tick tick) {
    switch (tick) {
        case sync::Tick::On:
            return 1;
        case sync::Tick::Greyed:
            return 2;
        case sync::Tick::Off:
            break;
    }
    return 0;
}

std::string wholeTwipsText(double twips) {
    // Far beyond any screen, but keeps the conversion to an integer defined.
    constexpr double kLimit = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    if (!std::isfinite(twips)) {
        return "0";
    }
    const double whole = roundHalfEven(std::fmax(-kLimit, std::fmin(kLimit, twips)));
    return std::to_string(static_cast<std::int64_t>(whole));
}

}  // namespace kelvane::settings
