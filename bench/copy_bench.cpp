// A pass that copies a large file, against `cp --preserve=timestamps` followed by `sync`
// of the copy, and against the same cp made atomic as the pass is (into a new file, its
// sync, mv over the target, the folder's sync): the same bytes on the same disk. Each
// timed copy starts on a settled disk (a global `sync` and a pause, outside the timing)
// and the three take turns at going first, so none pays for blocks another freed. Prints
// every round, the median of each and the pass's ratios.
//
// usage: [KELVANE_BENCH_KEEP_REPLACED=OFF] kelvane_copy_bench FOLDER [MiB=1024] [ROUNDS=9]
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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

double timeShell(const std::string& command) {
    kelvane::bench::settleTheDisk();
    return secondsFor([&] {
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.c_str());
            std::exit(1);
        }
    });
}

// cp over the existing file, then its flush: the named baseline. It rewrites the target
// in place, so a crash can leave it torn, and its blocks are given straight back to it.
double timeCp(const std::string& source, const std::string& target) {
    return timeShell("cp --preserve=timestamps '" + source + "' '" + target + "' && sync '" +
                     target + "'");
}

// The same promise as the pass's: cp into a new file beside the target, its flush, the
// rename and the folder's flush.
double timeAtomicCp(const std::string& source, const std::string& target) {
    const std::string folder = fs::path(target).parent_path().string();
    const std::string temporary = folder + "/.big.bin.tmp";
    return timeShell("cp --preserve=timestamps '" + source + "' '" + temporary + "' && sync '" +
                     temporary + "' && mv '" + temporary + "' '" + target + "' && sync '" + folder +
                     "'");
}

}  // namespace

int main(int argc, char** argv) {
    const auto run = kelvane::bench::copyRunFrom(argc, argv);
    if (!run) {
        return 2;
    }
    const auto [folder, mebibytes, rounds] = *run;
    const auto [source, passTarget, cpTarget] = kelvane::bench::copyFilesIn(folder);
    const std::string atomicTarget = (folder / "c" / "atomic.bin").string();
    makeSource(source, mebibytes);
    std::ofstream(passTarget) << "old";
    std::ofstream(cpTarget) << "old";
    std::ofstream(atomicTarget) << "old";
    auto fileSystem = kelvane::platform::makeSystemFileSystem();

    std::vector<double> pass;
    std::vector<double> cp;
    std::vector<double> atomic;
    const std::array<std::function<void()>, 3> sides = {
        [&] { pass.push_back(timePass(source, passTarget, *fileSystem)); },
        [&] { cp.push_back(timeCp(source, cpTarget)); },
        [&] { atomic.push_back(timeAtomicCp(source, atomicTarget)); }};
    for (long round = 1; round <= rounds; ++round) {
        touchSource(source, round);
        // Each side goes first, second and third in turn.
        for (std::size_t i = 0; i < sides.size(); ++i) {
            sides[(static_cast<std::size_t>(round) + i) % sides.size()]();
        }
        std::printf("round %ld: pass %.3f s, cp+sync %.3f s, cp+sync+mv %.3f s\n", round,
                    pass.back(), cp.back(), atomic.back());
    }
    std::printf(
        "copy of %ld MiB, median of %ld: pass %.3f s, cp+sync %.3f s, ratio %.3f;"
        " cp+sync+mv %.3f s, ratio %.3f\n",
        mebibytes, rounds, median(pass), median(cp), median(pass) / median(cp), median(atomic),
        median(pass) / median(atomic));
    fs::remove_all(folder);
    return 0;
}
