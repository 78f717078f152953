// The cost of keeping what a copy replaces: the same large copy with the replaced file
// kept in the trash and with keeping switched off, alternating, each round started on a
// settled disk (a global `sync` and a pause, outside the timing) so neither side pays for
// blocks the other freed. Prints every round, the medians and their ratio.
//
// usage: kelvane_keep_bench FOLDER [MiB=1024] [ROUNDS=9]
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;
using kelvane::bench::median;
using kelvane::bench::secondsFor;

namespace {

double timeCopy(kelvane::platform::FileSystem& fileSystem, const std::string& source,
                const std::string& target, bool keep) {
    kelvane::bench::settleTheDisk();
    return secondsFor([&] {
        const auto copied = fileSystem.replaceWithCopy(source, target, {std::nullopt, keep});
        if (!copied) {
            std::fprintf(stderr, "copy failed: %s\n", copied.reason().c_str());
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
    const auto [source, kept, unkept] = kelvane::bench::copyFilesIn(folder);
    kelvane::bench::makeSource(source, mebibytes);
    kelvane::bench::makeSource(kept, mebibytes);
    kelvane::bench::makeSource(unkept, mebibytes);
    auto fileSystem = kelvane::platform::makeSystemFileSystem();

    std::vector<double> keep;
    std::vector<double> off;
    for (long round = 1; round <= rounds; ++round) {
        kelvane::bench::touchSource(source, round);
        if (round % 2 == 0) {
            off.push_back(timeCopy(*fileSystem, source, unkept, false));
            keep.push_back(timeCopy(*fileSystem, source, kept, true));
        } else {
            keep.push_back(timeCopy(*fileSystem, source, kept, true));
            off.push_back(timeCopy(*fileSystem, source, unkept, false));
        }
        std::printf("round %ld: kept %.3f s, not kept %.3f s\n", round, keep.back(), off.back());
    }
    std::printf("copy of %ld MiB, median of %ld: kept %.3f s, not kept %.3f s, ratio %.3f\n",
                mebibytes, rounds, median(keep), median(off), median(keep) / median(off));
    fs::remove_all(folder);
    return 0;
}
