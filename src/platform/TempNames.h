#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kelvane::platform {

// Temporary files sit beside the file they will replace, named after it, the writing
// process and a random part: ".<name>.kelvane-<pid>-<random>.tmp". The process id lets a
// later pass tell a file left by a killed writer from one still being written.
//
// File systems take names of at most 255 bytes (Windows: 255 UTF-16 units), so a long
// name is cut, at a character boundary, to leave room for the rest: one dot, the tag,
// up to nine digits of process id, a dash, twelve random characters and ".tmp".
inline constexpr std::size_t kLongestName = 255;
inline constexpr std::size_t kLongestPidDigits = 9;
inline constexpr std::size_t kRandomLength = 12;
inline constexpr std::string_view kTemporaryTag = ".kelvane-";
inline constexpr std::string_view kTemporarySuffix = ".tmp";

// ".<name>.kelvane-", with the name cut where needed; shared by every temporary of a file.
inline std::string temporaryPrefix(std::string_view finalName) {
    constexpr std::size_t kRoom = kLongestName - 1 - kTemporaryTag.size() - kLongestPidDigits - 1 -
                                  kRandomLength - kTemporarySuffix.size();
    std::size_t keep = std::min(finalName.size(), kRoom);
    // Never split a UTF-8 sequence: step back over continuation bytes.
    while (keep < finalName.size() && keep > 0 &&
           (static_cast<unsigned char>(finalName[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    std::string prefix = ".";
    prefix += finalName.substr(0, keep);
    prefix += kTemporaryTag;
    return prefix;
}

inline std::string temporaryName(std::string_view finalName, long pid, std::string_view random) {
    std::string name = temporaryPrefix(finalName);
    name += std::to_string(pid);
    name += '-';
    name += random;
    name += kTemporarySuffix;
    return name;
}

// Twelve random letters and digits, so another program cannot guess the next name.
inline std::string randomNamePart(std::uint64_t processId) {
    static std::random_device device;
    static std::mt19937_64 engine((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                                  (processId << 16));
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string part;
    for (std::size_t i = 0; i < kRandomLength; ++i) {
        part += kAlphabet[engine() % (sizeof(kAlphabet) - 1)];
    }
    return part;
}

// The writer's process id when entryName is one of our temporary files for finalName.
inline std::optional<long> temporaryOwner(std::string_view entryName, std::string_view finalName) {
    const std::string prefix = temporaryPrefix(finalName);
    constexpr std::string_view kSuffix = kTemporarySuffix;
    if (entryName.size() <= prefix.size() + kSuffix.size() ||
        entryName.substr(0, prefix.size()) != prefix ||
        entryName.substr(entryName.size() - kSuffix.size()) != kSuffix) {
        return std::nullopt;
    }
    std::string_view rest = entryName.substr(prefix.size());
    long pid = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
        if (digits >= kLongestPidDigits) {
            return std::nullopt;
        }
        pid = pid * 10 + (rest[digits] - '0');
        ++digits;
    }
    if (digits == 0 || digits >= rest.size() || rest[digits] != '-') {
        return std::nullopt;
    }
    return pid;
}

// True for one of our temporary files for finalName that nobody writes any more: one this
// process left, or one whose writer is gone (a killed pass). Such a file is removed
// before the next write into its folder.
template <typename IsAlive>
bool isLeftOverTemporary(std::string_view entryName, std::string_view finalName, long ownPid,
                         IsAlive&& processIsAlive) {
    const auto owner = temporaryOwner(entryName, finalName);
    return owner && (*owner == ownPid || !processIsAlive(*owner));
}

// How many fresh names a temporary file is given before its folder counts as full.
inline constexpr int kTemporaryNameTries = 16;

// Tries fresh temporary names for finalName until `create(name)` makes a file under one:
// `create` answers true when it made the file, false when the name was taken, and an
// error for any other failure. Gives the name made, or an empty one when every try found
// its name taken.
template <typename Create>
Result<std::string> createUnderFreshName(std::string_view finalName, long pid, Create&& create) {
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        std::string name =
            temporaryName(finalName, pid, randomNamePart(static_cast<std::uint64_t>(pid)));
        const Result<bool> made = create(name);
        if (!made) {
            return Error{made.reason()};
        }
        if (made.value()) {
            return name;
        }
    }
    return std::string();
}

}  // namespace kelvane::platform
