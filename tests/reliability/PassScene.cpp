#include "PassScene.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kelvane::testing {
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kOldSeconds = 1600000000;
constexpr std::int64_t kNewSeconds = 1700000001;  // odd, with a fraction: full resolution
constexpr std::int32_t kNewNanoseconds = 123456789;

std::string keptOldTarget(const TempFolder& folder) {
    return folder.file("keep/old.bin");
}

std::string keptSource(const TempFolder& folder) {
    return folder.file("keep/new.bin");
}

bool sameFile(const std::string& a, const std::string& b) {
    return sameBytes(a, b) && sameModifiedTime(a, b);
}

std::vector<char> patternBlock(std::size_t size, std::uint64_t& state) {
    std::vector<char> block(size);
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        state ^= state << 13;  // xorshift64: fast and good enough to tell files apart
        state ^= state >> 7;
        state ^= state << 17;
        for (std::size_t b = 0; b < 8; ++b) {
            block[i + b] = static_cast<char>(state >> (8 * b));
        }
    }
    return block;
}

}  // namespace

std::string passTool() {
    return KELVANE_PASS_TOOL;
}

void letChildrenRunUnderPtrace() {
    const char* current = std::getenv("ASAN_OPTIONS");
    std::string options = current != nullptr ? current : "";
    options += options.empty() ? "detect_leaks=0" : ":detect_leaks=0";
    ::setenv("ASAN_OPTIONS", options.c_str(), 1);
}

void writePattern(const std::string& path, std::int64_t bytes, std::uint64_t seed) {
    constexpr std::int64_t kBlock = 1 << 20;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
    for (std::int64_t done = 0; done < bytes; done += kBlock) {
        const auto size = static_cast<std::size_t>(std::min(kBlock, bytes - done));
        const auto block = patternBlock(size, state);
        out.write(block.data(), static_cast<std::streamsize>(size));
    }
}

bool sameBytes(const std::string& a, const std::string& b) {
    std::error_code error;
    if (fs::file_size(a, error) != fs::file_size(b, error) || error) {
        return false;
    }
    std::ifstream left(a, std::ios::binary);
    std::ifstream right(b, std::ios::binary);
    std::vector<char> leftBlock(1 << 20);
    std::vector<char> rightBlock(1 << 20);
    while (left && right) {
        left.read(leftBlock.data(), static_cast<std::streamsize>(leftBlock.size()));
        right.read(rightBlock.data(), static_cast<std::streamsize>(rightBlock.size()));
        if (left.gcount() != right.gcount() ||
            !std::equal(leftBlock.begin(), leftBlock.begin() + left.gcount(), rightBlock.begin())) {
            return false;
        }
    }
    return true;
}

bool sameModifiedTime(const std::string& a, const std::string& b) {
    return modifiedSinceEpoch(a) == modifiedSinceEpoch(b);
}

PassScene::PassScene(std::int64_t sourceBytes, std::int64_t targetBytes) {
    for (const char* sub : {"a", "b", "keep"}) {
        folder_.makeFolder(sub);
    }
    // The passes keep what they replace in a trash of this scene's own.
    ::setenv("XDG_DATA_HOME", folder_.file("data").c_str(), 1);
    writePattern(source(), sourceBytes, 1);
    setModified(source(), kNewSeconds, kNewNanoseconds);
    fs::copy_file(source(), keptSource(folder_));
    setModified(keptSource(folder_), kNewSeconds, kNewNanoseconds);
    writePattern(keptOldTarget(folder_), targetBytes, 2);
    setModified(keptOldTarget(folder_), kOldSeconds);
    restoreOldTarget();
}

std::vector<std::string> PassScene::passCommand() const {
    return {passTool(), source(), target()};
}

std::vector<std::string> PassScene::tracedPass(CopyPath path, std::vector<Injection> injections,
                                               const std::string& traceFile) const {
    if (path == CopyPath::ReadWrite) {
        injections.push_back(Injection{"copy_file_range", "error=EXDEV", 0});
    }
    return underStrace(injections, traceFile, passCommand());
}

std::vector<Syscall> PassScene::recordCopyStretch(CopyPath path) {
    const std::string traceFile = folder_.file("clean-pass.trace");
    const Ended clean = runToEnd(tracedPass(path, {}, traceFile));
    auto stretch = clean.status == 0 ? copyStretch(readTrace(traceFile)) : std::vector<Syscall>{};
    fs::remove(traceFile);
    restoreOldTarget();
    return stretch;
}

// Each pass starts with an empty trash, so every run makes the same calls as the first.
void PassScene::restoreOldTarget() const {
    fs::remove_all(folder_.file("data"));
    fs::create_directories(folder_.file("data/Trash/files"));
    fs::create_directories(folder_.file("data/Trash/info"));
    fs::copy_file(keptOldTarget(folder_), target(), fs::copy_options::overwrite_existing);
    const auto kept = modifiedSinceEpoch(keptOldTarget(folder_)).count();
    setModified(target(), kept / 1000000000, static_cast<std::int32_t>(kept % 1000000000));
}

Held PassScene::targetHolds() const {
    if (sameFile(target(), keptOldTarget(folder_))) {
        return Held::OldFile;
    }
    if (sameFile(target(), keptSource(folder_))) {
        return Held::NewFile;
    }
    return Held::Torn;
}

bool PassScene::sourceIntact() const {
    return sameFile(source(), keptSource(folder_));
}

bool PassScene::oldTargetKept() const {
    const std::string files = folder_.file("data/Trash/files");
    if (!fs::is_directory(files)) {
        return false;
    }
    for (const auto& name : folder_.entries("data/Trash/files")) {
        if (sameBytes(files + "/" + name, keptOldTarget(folder_))) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> PassScene::temporaryFiles() const {
    std::vector<std::string> found;
    for (const char* sub : {"a", "b", "data/Trash/files"}) {
        if (!fs::is_directory(folder_.file(sub))) {
            continue;
        }
        for (const auto& name : folder_.entries(sub)) {
            if (name.find(".kelvane-") != std::string::npos) {
                found.push_back(std::string(sub) + "/" + name);
            }
        }
    }
    return found;
}

}  // namespace kelvane::testing
