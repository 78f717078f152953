#include "sync/SyncPass.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "sync/TimeComparison.h"

namespace kelvane::sync {
namespace {

using platform::CopiedTimes;
using platform::FileStamp;
using platform::FileSystem;
using platform::FileTime;

// A ticked slot that passed the existence test.
struct Candidate {
    int slot = 0;  // 1, 2 or 3
    std::string path;
    FileStamp stamp;
};

std::string slotName(int slot) {
    return "File" + std::to_string(slot);
}

SyncOutcome refused(std::string message) {
    SyncOutcome outcome;
    outcome.result = SyncResult::Refused;
    outcome.message = std::move(message);
    return outcome;
}

SyncOutcome failed(std::string reason) {
    SyncOutcome outcome;
    outcome.result = SyncResult::Failed;
    outcome.reason = std::move(reason);
    return outcome;
}

bool isTicked(const FileSlot& slot) {
    return slot.tick == Tick::On;
}

// The same path text, or two spellings the file system takes for one file.
bool sameFile(const Candidate& a, const Candidate& b) {
    return a.path == b.path || a.stamp.identity.sameFileAs(b.stamp.identity);
}

// What one pass works with: the system, what earlier copies showed, and its caller's
// wish to follow it or stop it.
struct PassContext {
    FileSystem& fileSystem;
    CopyMemory& memory;
    const PassControl& control;
};

bool cancelled(const PassContext& pass) {
    return pass.control.cancelled && pass.control.cancelled();
}

SyncOutcome cancelledOutcome() {
    SyncOutcome outcome;
    outcome.result = SyncResult::Cancelled;
    return outcome;
}

// Follows one copy for the caller: each chunk is reported, and a stop is asked for.
platform::CopyProgressHandler followCopy(const Candidate& target, const PassContext& pass) {
    if (!pass.control.progressed && !pass.control.cancelled) {
        return {};
    }
    return [&target, &pass](std::uint64_t copied, std::uint64_t total) {
        if (pass.control.progressed) {
            pass.control.progressed(CopyProgress{target.slot, copied, total});
        }
        return !cancelled(pass);
    };
}

// A volume is known by its device only where the system gives files an identity.
bool hasVolumeIdentity(const Candidate& file) {
    return file.stamp.identity.file != 0;
}

bool onTwoSecondVolume(const Candidate& file, PassContext& pass) {
    return (hasVolumeIdentity(file) && pass.memory.isTwoSecondVolume(file.stamp.identity.device)) ||
           pass.fileSystem.hasCoarseTimes(file.path);
}

// Equal at the coarser precision of the two; on a volume with two-second steps (FAT),
// within two seconds, since a fresh copy lands up to a step away; or the time a copy
// had to leave on a target that could not take its source's.
bool sameTime(const Candidate& a, const Candidate& b, PassContext& pass) {
    const FileTime timeA = a.stamp.modified;
    const FileTime timeB = b.stamp.modified;
    if (sameFile(a, b) || compareAtCoarserPrecision(timeA, timeB) == 0) {
        return true;
    }
    if (pass.memory.isHeldTime(a.path, timeB, timeA) ||
        pass.memory.isHeldTime(b.path, timeA, timeB)) {
        return true;
    }
    return withinTwoSeconds(timeA, timeB) &&
           (onTwoSecondVolume(a, pass) || onTwoSecondVolume(b, pass));
}

// Which of two files is later by their times alone, at the coarser precision of the two.
bool isLater(const Candidate& a, const Candidate& b) {
    return compareAtCoarserPrecision(a.stamp.modified, b.stamp.modified) > 0;
}

std::string updatedPrefix(const std::vector<int>& targets) {
    std::string prefix = slotName(targets.front());
    if (targets.size() == 2) {
        prefix += " and " + slotName(targets.back());
    }
    return prefix + " updated ";
}

// Once the new content is in place the copy is judged by the time read back: the
// source's (at the precision the target keeps), a two-second step of a FAT volume (the
// volume is then known as one, whatever its mount is called), or a time the target's
// file system could not take, which is reported and remembered so the next pass does
// not copy again.
platform::Status judgeCopiedTime(const Candidate& target, const CopiedTimes& times,
                                 PassContext& pass) {
    if (compareAtCoarserPrecision(times.source, times.target) == 0) {
        return {};
    }
    pass.memory.rememberHeldTime(target.path, times.source, times.target);
    if (looksLikeTwoSecondStep(times.source, times.target)) {
        if (hasVolumeIdentity(target)) {
            pass.memory.rememberTwoSecondVolume(target.stamp.identity.device);
        }
        return {};
    }
    constexpr const char* kTimeNotKept =
        "The copy is in place, but the file system did not keep the source's time on ";
    return platform::Error{kTimeNotKept + target.path};
}

// The same size and, read through, the same bytes.
platform::Result<bool> holdsSameBytes(const Candidate& source, const Candidate& target,
                                      PassContext& pass) {
    if (source.stamp.size != target.stamp.size) {
        return false;
    }
    return pass.fileSystem.haveSameContent(source.path, target.path,
                                           [&pass] { return !cancelled(pass); });
}

// Gives a file that already holds the pass's content the time the content has; where
// the time cannot be set (another user's file), the two count as equal for this run.
void settleTime(const Candidate& file, FileTime contentTime, PassContext& pass) {
    if (compareAtCoarserPrecision(file.stamp.modified, contentTime) == 0) {
        return;
    }
    if (!pass.fileSystem.setModifiedTime(file.path, file.stamp.modified, contentTime)) {
        pass.memory.rememberHeldTime(file.path, contentTime, file.stamp.modified);
    }
}

// Files that already hold the source's bytes are not copied onto: a copy killed between
// its rename and its time setting on a volume that resets times on rename leaves such a
// file with the moment of the kill as its time, which is no newer edit. The content
// keeps the time it had before, the latest time among the files that already held it,
// as a finished copy would have left it; the source, when newer, takes it too.
void settleTimesOfSameBytes(const Candidate& source, const std::vector<const Candidate*>& same,
                            PassContext& pass) {
    FileTime contentTime = same.front()->stamp.modified;
    for (const Candidate* file : same) {
        if (compareAtCoarserPrecision(file->stamp.modified, contentTime) > 0) {
            contentTime = file->stamp.modified;
        }
    }
    settleTime(source, contentTime, pass);
    for (const Candidate* file : same) {
        settleTime(*file, contentTime, pass);
    }
}

// Copies source over each target in order that does not already hold its bytes; a
// target that is the source's own file is left alone. Stops at the first failure; copies
// made before it stay. Nothing copied is the equal outcome.
SyncOutcome copyOver(const Candidate& source, const std::vector<const Candidate*>& targets,
                     PassContext& pass) {
    std::vector<const Candidate*> sameBytes;
    std::vector<const Candidate*> toCopy;
    std::vector<int> targetSlots;
    for (const Candidate* target : targets) {
        if (sameFile(*target, source)) {
            targetSlots.push_back(target->slot);
            continue;
        }
        if (cancelled(pass)) {
            return cancelledOutcome();
        }
        auto same = holdsSameBytes(source, *target, pass);
        if (!same) {
            return cancelled(pass) ? cancelledOutcome() : failed(same.reason());
        }
        if (same.value()) {
            sameBytes.push_back(target);
        } else {
            toCopy.push_back(target);
            targetSlots.push_back(target->slot);
        }
    }
    if (!sameBytes.empty()) {
        settleTimesOfSameBytes(source, sameBytes, pass);
    }
    if (toCopy.empty()) {
        return SyncOutcome{};
    }
    for (const Candidate* target : toCopy) {
        if (cancelled(pass)) {
            return cancelledOutcome();
        }
        auto copied =
            pass.fileSystem.replaceWithCopy(source.path, target->path, platform::ReplaceTerms{},
                                            followCopy(*target, pass));
        if (!copied) {
            return cancelled(pass) ? cancelledOutcome() : failed(copied.reason());
        }
        if (auto judged = judgeCopiedTime(*target, copied.value(), pass); !judged) {
            return failed(judged.reason());
        }
    }
    SyncOutcome outcome;
    outcome.result = SyncResult::Copied;
    outcome.statusPrefix = updatedPrefix(targetSlots);
    outcome.updatedSlots = targetSlots;
    return outcome;
}

SyncOutcome syncPair(const Candidate& low, const Candidate& high, PassContext& pass) {
    if (sameTime(low, high, pass)) {
        return SyncOutcome{};
    }
    return isLater(low, high) ? copyOver(low, {&high}, pass) : copyOver(high, {&low}, pass);
}

// Each file is compared with the newest, not with its neighbour: with a FAT file in the
// middle, 101 s, 102 s and 103 s are each within two seconds of the next, yet the first
// is older than the newest by more than that and must receive the copy.
SyncOutcome syncTriple(const std::vector<Candidate>& files,
                       const std::array<std::string, 3>& workingPaths, PassContext& pass) {
    const Candidate& one = files[0];
    const Candidate& two = files[1];
    const Candidate& three = files[2];
    const Candidate* newest = isLater(one, two) ? &one : &two;
    if (isLater(three, *newest)) {
        newest = &three;
    }
    if (std::all_of(files.begin(), files.end(),
                    [&](const Candidate& file) { return sameTime(file, *newest, pass); })) {
        return SyncOutcome{};
    }
    // The newest is carried as its path: the first slot with that exact path is the source.
    int sourceIndex = 0;
    while (workingPaths[static_cast<std::size_t>(sourceIndex)] != newest->path) {
        ++sourceIndex;
    }
    std::vector<const Candidate*> targets;
    for (int i = 0; i < 3; ++i) {
        if (i != sourceIndex) {
            targets.push_back(&files[static_cast<std::size_t>(i)]);
        }
    }
    return copyOver(files[static_cast<std::size_t>(sourceIndex)], targets, pass);
}

// Looks at each ticked slot in order: the first one without a file ends the pass.
std::optional<SyncOutcome> findTickedFiles(const FileSlots& slots,
                                           const std::array<std::string, 3>& workingPaths,
                                           FileSystem& fileSystem, std::vector<Candidate>& found) {
    for (int i = 0; i < 3; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (!isTicked(slots[index])) {
            continue;
        }
        if (workingPaths[index].empty()) {
            return refused(notFoundMessage(i + 1));
        }
        auto look = fileSystem.findOrdinaryFile(workingPaths[index]);
        if (!look) {
            return failed(look.reason());
        }
        if (!look.value()) {
            return refused(notFoundMessage(i + 1));
        }
        found.push_back(Candidate{i + 1, workingPaths[index], *look.value()});
    }
    return std::nullopt;
}

bool namesAgree(const std::vector<Candidate>& files, const FileSystem& fileSystem) {
    const std::string first = fileSystem.fileName(files.front().path);
    for (const Candidate& file : files) {
        if (fileSystem.fileName(file.path) != first) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string notFoundMessage(int slotNumber) {
    return slotName(slotNumber) + " not found\r\n\r\nCheck file path and name or unselect file.";
}

SyncOutcome syncSelectedFiles(const FileSlots& slots, FileSystem& fileSystem) {
    return syncSelectedFiles(slots, fileSystem, memoryOfThisRun());
}

SyncOutcome syncSelectedFiles(const FileSlots& slots, FileSystem& fileSystem,
                              const PassControl& control) {
    return syncSelectedFiles(slots, fileSystem, memoryOfThisRun(), control);
}

SyncOutcome syncSelectedFiles(const FileSlots& slots, FileSystem& fileSystem, CopyMemory& memory,
                              const PassControl& control) {
    std::array<std::string, 3> workingPaths;
    for (std::size_t i = 0; i < 3; ++i) {
        workingPaths[i] = fileSystem.workingPath(slots[i].pathText);
    }
    std::vector<Candidate> files;
    auto outcome = findTickedFiles(slots, workingPaths, fileSystem, files);
    if (!outcome && files.size() < 2) {
        outcome = refused(kSelectAtLeastTwo);
    }
    if (!outcome && !namesAgree(files, fileSystem)) {
        outcome = refused(kNamesMustMatch);
    }
    if (!outcome) {
        PassContext pass{fileSystem, memory, control};
        outcome = files.size() == 2 ? syncPair(files[0], files[1], pass)
                                    : syncTriple(files, workingPaths, pass);
    }
    outcome->workingPaths = workingPaths;
    return *outcome;
}

}  // namespace kelvane::sync
