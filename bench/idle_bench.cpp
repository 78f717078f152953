// An idle pass (three ticked files with equal times, nothing to copy) against the floor
// of three stat() calls on the same files. Prints nanoseconds per pass and the ratio. The
// passes go by the in-step states the first one found, as the window's passes do.
//
// usage: kelvane_idle_bench FOLDER [PASSES=200000] [ROUNDS=7]
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "sync/SyncPass.h"

namespace fs = std::filesystem;
using kelvane::bench::median;
using kelvane::bench::secondsFor;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [PASSES] [ROUNDS]\n", argv[0]);
        return 2;
    }
    const fs::path folder = argv[1];
    const long passes = argc > 2 ? std::atol(argv[2]) : 200'000;
    const long rounds = argc > 3 ? std::atol(argv[3]) : 7;
    kelvane::sync::FileSlots slots;
    const auto when = fs::file_time_type::clock::now();
    for (int i = 0; i < 3; ++i) {
        const fs::path sub = folder / std::string(1, static_cast<char>('a' + i));
        fs::create_directories(sub);
        const std::string path = (sub / "notes.txt").string();
        std::ofstream(path) << "same";
        fs::last_write_time(path, when);
        slots[static_cast<std::size_t>(i)] = {path, kelvane::sync::Tick::On};
    }
    auto fileSystem = kelvane::platform::makeSystemFileSystem();
    kelvane::sync::PassTerms terms;
    terms.inStep = kelvane::sync::syncSelectedFiles(slots, *fileSystem, {}, terms)
                       .inStep.value_or(kelvane::sync::InStepStates{});
    long sink = 0;

    std::vector<double> pass;
    std::vector<double> floor;
    for (long round = 0; round < rounds; ++round) {
        pass.push_back(secondsFor([&] {
            for (long i = 0; i < passes; ++i) {
                sink += static_cast<long>(
                    kelvane::sync::syncSelectedFiles(slots, *fileSystem, {}, terms).result);
            }
        }));
        floor.push_back(secondsFor([&] {
            struct stat info {};
            for (long i = 0; i < passes; ++i) {
                for (const auto& slot : slots) {
                    sink += ::stat(slot.pathText.c_str(), &info);
                }
            }
        }));
    }
    const double passNs = median(pass) / static_cast<double>(passes) * 1e9;
    const double floorNs = median(floor) / static_cast<double>(passes) * 1e9;
    std::printf(
        "idle pass over three files, median of %ld rounds of %ld: pass %.0f ns, three stat() %.0f "
        "ns, "
        "ratio %.2f\n",
        rounds, passes, passNs, floorNs, passNs / floorNs);
    fs::remove_all(folder);
    // Printing the sum keeps the compiler from dropping the measured calls.
    std::printf("(checksum %ld)\n", sink);
    return 0;
}
