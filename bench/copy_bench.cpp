// A pass that copies a large file, against `cp --preserve=timestamps` followed by `sync`
// of the copy: the same bytes, the same disk, the same durability. Each timed copy starts
// on a settled disk (a global `sync` and a pause, outside the timing) and the two
// alternate which goes first, so neither pays for blocks the other freed. Prints every
// round, the median of each and their ratio.
//
// usage: [KELVANE_BENCH_KEEP_REPLACED=OFF] kelvane_copy_bench FOLDER [MiB=1024] [ROUNDS=9]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "sync/SyncPass.h"

namespace fs = std::filesystem;
using kelvane::bench::makeSource;
using kelvane::bench::median;
using kelvane::bench::secondsFor;
using kelvane::bench::touchSource;

namespace {

// As shipped, a pass keeps what it replaces; KELVANE_BENCH_KEEP_REPLACED=OFF measures it
// with KeepReplaced=OFF, as cp, which keeps nothing.
bool keepReplaced() {
    const char* setting = std::getenv("KELVANE_BENCH_KEEP_REPLACED");
    return setting == nullptr || std::string(setting) != "OFF";
}

double timePass(const std::string& source, const std::string& target,
                kelvane::platform::FileSystem& fileSystem) {
    const kelvane::sync::FileSlots slots = {
        kelvane::sync::FileSlot{source, kelvane::sync::Tick::On},
        kelvane::sync::FileSlot{target, kelvane::sync::Tick::On},
        kelvane::sync::FileSlot{"", kelvane::sync::Tick::Off}};
    kelvane::bench::settleTheDisk();
    return secondsFor([&] {
        kelvane::sync::PassTerms terms;
        terms.keepReplaced = keepReplaced();
        const auto outcome = kelvane::sync::syncSelectedFiles(slots, fileSystem, {}, terms);
        if (outcome.result != kelvane::sync::SyncResult::Copied) {
            std::fprintf(stderr, "pass did not copy: %s\n", outcome.reason.c_str());
            std::exit(1);
        }
    });
}

double timeCp(const std::string& source, const std::string& target) {
    const std::string command =
        "cp --preserve=timestamps '" + source + "' '" + target + "' && sync '" + target + "'";
    kelvane::bench::settleTheDisk();
    return secondsFor([&] {
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cp failed\n");
            std::exit(1);
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    const auto run = kelvane::bench::copyRunFrom(argc, argv);
    if (!run) {
        return 2;
    }
    const auto [folder, mebibytes, rounds] = *run;
    const auto [source, passTarget, cpTarget] = kelvane::bench::copyFilesIn(folder);
    makeSource(source, mebibytes);
    std::ofstream(passTarget) << "old";
    std::ofstream(cpTarget) << "old";
    auto fileSystem = kelvane::platform::makeSystemFileSystem();

    std::vector<double> pass;
    std::vector<double> cp;
    for (long round = 1; round <= rounds; ++round) {
        touchSource(source, round);
        if (round % 2 == 0) {
            cp.push_back(timeCp(source, cpTarget));
            pass.push_back(timePass(source, passTarget, *fileSystem));
        } else {
            pass.push_back(timePass(source, passTarget, *fileSystem));
            cp.push_back(timeCp(source, cpTarget));
        }
        std::printf("round %ld: pass %.3f s, cp+sync %.3f s\n", round, pass.back(), cp.back());
    }
    std::printf("copy of %ld MiB, median of %ld: pass %.3f s, cp+sync %.3f s, ratio %.3f\n",
                mebibytes, rounds, median(pass), median(cp), median(pass) / median(cp));
    fs::remove_all(folder);
    return 0;
}
