#include "settings/SettingsEncoding.h"

#include <cstdint>
#include <optional>

namespace kelvane::settings {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

void appendUtf16LE(std::string& out, char32_t point) {
    auto unit = [&out](char32_t value) {
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>((value >> 8) & 0xFF);
    };
    if (point < 0x10000) {
        unit(point);
        return;
    }
    point -= 0x10000;
    unit(0xD800 | (point >> 10));
    unit(0xDC00 | (point & 0x3FF));
}

// One code point from the start of text and its length in bytes, or nothing for a byte
// that starts no well-formed sequence. Unpaired UTF-16 halves (ED A0 80 to ED BF BF) are
// taken only when asked for, since they come from a UTF-16 file and must go back there.
struct Decoded {
    char32_t point;
    std::size_t length;
};

std::optional<Decoded> nextPoint(std::string_view text, bool allowSurrogates) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return Decoded{lead, 1};
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) {
        return std::nullopt;
    }
    char32_t point = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        point = (point << 6) | (byte(i) & 0x3F);
    }
    const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    const bool surrogate = isHighSurrogate(point) || isLowSurrogate(point);
    if (point < smallest || point > 0x10FFFF || (surrogate && !allowSurrogates)) {
        return std::nullopt;
    }
    return Decoded{point, length};
}

DecodedText fromUtf16LE(std::string_view bytes) {
    DecodedText decoded{TextEncoding::Utf16LE, {}, {}};
    decoded.text.reserve(bytes.size() + bytes.size() / 2);
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&bytes](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t unit = unitAt(i);
        if (isHighSurrogate(unit) && i + 1 < units && isLowSurrogate(unitAt(i + 1))) {
            appendUtf8(decoded.text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        } else {
            appendUtf8(decoded.text, unit);
        }
    }
    if (bytes.size() % 2 != 0) {
        decoded.oddByte = std::string(bytes.substr(bytes.size() - 1));
    }
    return decoded;
}

std::string toUtf16LE(std::string_view text) {
    std::string out;
    out.reserve(2 * text.size());
    while (!text.empty()) {
        const auto next = nextPoint(text, true);
        appendUtf16LE(out, next ? next->point : kReplacement);
        text.remove_prefix(next ? next->length : 1);
    }
    return out;
}

}  // namespace

DecodedText decodeSettingsBytes(std::string_view bytes) {
    if (bytes.substr(0, kUtf16LEMark.size()) == kUtf16LEMark) {
        return fromUtf16LE(bytes.substr(kUtf16LEMark.size()));
    }
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        return {TextEncoding::Utf8, std::string(bytes.substr(kUtf8Mark.size())), {}};
    }
    return {TextEncoding::SystemBytes, std::string(bytes), {}};
}

std::string encodeSettingsText(TextEncoding encoding, std::string_view text,
                               std::string_view oddByte) {
    switch (encoding) {
        case TextEncoding::Utf16LE:
            return std::string(kUtf16LEMark) + toUtf16LE(text) + std::string(oddByte);
        case TextEncoding::Utf8:
            return std::string(kUtf8Mark) + std::string(text);
        case TextEncoding::SystemBytes:
            break;
    }
    return std::string(text);
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto next = nextPoint(text, false);
        if (next) {
            out += text.substr(0, next->length);
        } else {
            appendUtf8(out, kReplacement);
        }
        text.remove_prefix(next ? next->length : 1);
    }
    return out;
}

}  // namespace kelvane::settings
