#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvane::bench {

using Clock = std::chrono::steady_clock;

template <typename Work>
double secondsFor(Work&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// A file of that many MiB, not all zeros and not compressible to nothing.
inline void makeSource(const std::string& path, long mebibytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block(1 << 20, '\0');
    for (long i = 0; i < mebibytes; ++i) {
        for (std::size_t j = 0; j < block.size(); j += 4096) {
            block[j] = static_cast<char>(i + j);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

// An edit (one byte, so the size stays) with a newer time makes every round copy again:
// a source whose bytes the target already holds would not be copied.
inline void touchSource(const std::string& path, long round) {
    {
        std::fstream edit(path, std::ios::binary | std::ios::in | std::ios::out);
        edit.seekp(1);
        edit.put(static_cast<char>(round));
    }
    namespace fs = std::filesystem;
    const auto when = fs::file_time_type::clock::now() + std::chrono::seconds(10 * round);
    fs::last_write_time(path, when);
}

// Seconds a settled disk is given after its sync (KELVANE_BENCH_SETTLE, default 3): a
// disk mounted with discard goes on discarding freed blocks after the sync returns.
inline long settlePause() {
    const char* setting = std::getenv("KELVANE_BENCH_SETTLE");
    return setting != nullptr && std::atol(setting) >= 0 ? std::atol(setting) : 3;
}

// A settled disk before a timed copy, outside its timing: everything written is on the
// disk, and the blocks the last copy freed are discarded, so no copy pays for another's.
inline void settleTheDisk() {
    std::fflush(nullptr);
    if (std::system("sync") != 0) {
        std::fprintf(stderr, "sync failed\n");
    }
    std::this_thread::sleep_for(std::chrono::seconds(settlePause()));
}

// What the copy benchmarks are told: FOLDER [MiB] [ROUNDS].
struct CopyRun {
    std::filesystem::path folder;
    long mebibytes = 1024;
    long rounds = 9;
};

inline std::optional<CopyRun> copyRunFrom(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [MiB] [ROUNDS]\n", argv[0]);
        return std::nullopt;
    }
    CopyRun run{argv[1]};
    run.mebibytes = argc > 2 ? std::atol(argv[2]) : run.mebibytes;
    run.rounds = argc > 3 ? std::atol(argv[3]) : run.rounds;
    return run;
}

// a/big.bin, b/big.bin and c/big.bin in the run's folder, their folders made. Copies a
// pass replaces are kept in a trash inside that folder, never the user's, and go with it.
inline std::array<std::string, 3> copyFilesIn(const std::filesystem::path& folder) {
    ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    std::array<std::string, 3> files;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto sub = folder / std::string(1, static_cast<char>('a' + i));
        std::filesystem::create_directories(sub);
        files[i] = (sub / "big.bin").string();
    }
    return files;
}

}  // namespace kelvane::bench
