#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvane::platform {

// Where a volume has no trash (a Windows removable drive or network share, a Linux volume
// whose top cannot be written), replaced copies lie in a hidden folder beside the file,
// named after it and the moment it was replaced: "notes (replaced 2026-12-09 073012).txt".
inline constexpr std::string_view kReplacedFolderName = ".kelvane-replaced";

// The newest this many replaced copies of each file that Kelvane put away are kept;
// older ones of its own are removed. What it did not put there is never touched.
inline constexpr std::size_t kKeptPerFile = 10;

// What a replaced copy's name adds to the file's: " (replaced YYYY-MM-DD HHMMSS NNNN)".
inline constexpr std::size_t kMarkLength = 34;

// The name split before its extension: "notes.txt" gives "notes" and ".txt"; a name
// without one, or a dot file such as ".profile", has no extension.
inline std::pair<std::string_view, std::string_view> splitExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {name, {}};
    }
    return {name.substr(0, dot), name.substr(dot)};
}

// The stem cut, at a character boundary, so that stem, `extra` bytes and the extension
// fit in the longest name a file system takes (255 bytes; on Windows 255 UTF-16 units,
// never fewer than the UTF-8 bytes).
inline std::string_view fittedStem(std::string_view stem, std::string_view extension,
                                   std::size_t extra) {
    constexpr std::size_t kLongest = 255;
    const std::size_t room =
        kLongest > extra + extension.size() ? kLongest - extra - extension.size() : 1;
    std::size_t keep = std::min(stem.size(), room);
    while (keep < stem.size() && keep > 0 &&
           (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return stem.substr(0, keep);
}

// "NAME (replaced YYYY-MM-DD HHMMSS).EXT" for a copy replaced at `localTime`; `tie`
// above 1 makes a second name for the same second: "... HHMMSS 2).EXT".
inline std::string replacedCopyName(std::string_view fileName, const std::tm& localTime,
                                    int tie = 1) {
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d%02d%02d", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    const auto [stem, extension] = splitExtension(fileName);
    std::string name(fittedStem(stem, extension, kMarkLength));
    name += " (replaced ";
    name += stamp;
    if (tie > 1) {
        name += " " + std::to_string(tie);
    }
    name += ")";
    name += extension;
    return name;
}

// How many names for one second are tried before a folder counts as full.
inline constexpr int kReplacedNameTries = 100;

// The first of fileName's replaced-copy names for `localTime` that `isFree(name)` accepts;
// nothing when every try is taken.
template <typename IsFree>
std::optional<std::string> freeReplacedCopyName(std::string_view fileName, const std::tm& localTime,
                                                IsFree&& isFree) {
    for (int tie = 1; tie <= kReplacedNameTries; ++tie) {
        std::string name = replacedCopyName(fileName, localTime, tie);
        if (isFree(name)) {
            return name;
        }
    }
    return std::nullopt;
}

// True when entry is one of fileName's replaced copies, as replacedCopyName makes them.
inline bool isReplacedCopyOf(std::string_view entry, std::string_view fileName) {
    const auto [stem, extension] = splitExtension(fileName);
    const std::string opening =
        std::string(fittedStem(stem, extension, kMarkLength)) + " (replaced ";
    const std::string closing = ")" + std::string(extension);
    constexpr std::size_t kStampLength = 17;  // "YYYY-MM-DD HHMMSS"
    if (entry.size() < opening.size() + kStampLength + closing.size() ||
        entry.substr(0, opening.size()) != opening ||
        entry.substr(entry.size() - closing.size()) != closing) {
        return false;
    }
    const std::string_view stamp = entry.substr(opening.size(), kStampLength);
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        const char separator = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : '\0';
        if (separator != '\0' ? stamp[i] != separator : !digit) {
            return false;
        }
    }
    return true;
}

// Of one file's replaced copies (names isReplacedCopyOf accepts), those beyond the newest
// kKeptPerFile, oldest first. The stamp orders them, then the tie number within a second.
inline std::vector<std::string> replacedCopiesBeyondLimit(std::string_view fileName,
                                                          std::vector<std::string> names) {
    const auto [stem, extension] = splitExtension(fileName);
    const std::size_t stampAt =
        fittedStem(stem, extension, kMarkLength).size() + 11;  // " (replaced "
    const auto key = [stampAt](const std::string& name) {
        const std::string stamp = name.substr(stampAt, 17);
        const std::size_t tieAt = stampAt + 18;
        const int tie =
            name.size() > tieAt && name[tieAt - 1] == ' ' ? std::atoi(name.c_str() + tieAt) : 1;
        return std::make_pair(stamp, tie);
    };
    std::sort(names.begin(), names.end(),
              [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    if (names.size() <= kKeptPerFile) {
        return {};
    }
    names.resize(names.size() - kKeptPerFile);
    return names;
}

}  // namespace kelvane::platform
