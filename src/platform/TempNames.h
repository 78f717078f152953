#pragma once

#include <cctype>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace kelvane::platform {

// Temporary files sit beside the file they will replace, named after it, the writing
// process and a random part: ".<name>.kelvane-<pid>-<random>.tmp". The process id lets a
// later pass tell a file left by a killed writer from one still being written.
inline std::string temporaryName(std::string_view finalName, long pid, std::string_view random) {
    std::string name = ".";
    name += finalName;
    name += ".kelvane-";
    name += std::to_string(pid);
    name += '-';
    name += random;
    name += ".tmp";
    return name;
}

// Twelve random letters and digits, so another program cannot guess the next name.
inline std::string randomNamePart(std::uint64_t processId) {
    static std::random_device device;
    static std::mt19937_64 engine((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                                  (processId << 16));
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string part;
    for (int i = 0; i < 12; ++i) {
        part += kAlphabet[engine() % (sizeof(kAlphabet) - 1)];
    }
    return part;
}

// The writer's process id when entryName is one of our temporary files for finalName.
inline std::optional<long> temporaryOwner(std::string_view entryName, std::string_view finalName) {
    const std::string prefix = "." + std::string(finalName) + ".kelvane-";
    constexpr std::string_view kSuffix = ".tmp";
    if (entryName.size() <= prefix.size() + kSuffix.size() ||
        entryName.substr(0, prefix.size()) != prefix ||
        entryName.substr(entryName.size() - kSuffix.size()) != kSuffix) {
        return std::nullopt;
    }
    std::string_view rest = entryName.substr(prefix.size());
    long pid = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
        if (digits >= 9) {
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

}  // namespace kelvane::platform
