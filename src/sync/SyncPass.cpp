#include "sync/SyncPass.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "sync/TimeComparison.h"

namespace kelvane::sync {
namespace {

using platform::CopiedTimes;
using platform::FileStamp;
using platform::FileSystem;
using platform::FileTime;

// How a ticked file stands against its state when the files were last in step.
enum class SinceInStep { Unknown, Unchanged, Changed };

// A ticked slot that passed the existence test.
struct Candidate {
    int slot = 0;             // 1, 2 or 3
    const std::string& path;  // one of the pass's working paths, which outlive it
    FileStamp stamp;
    SinceInStep since = SinceInStep::Unknown;
};

std::string slotName(int slot) {
    return "File" + std::to_string(slot);
}

std::size_t indexOf(int slot) {
    return static_cast<std::size_t>(slot - 1);
}

InStepState stateOf(const FileStamp& stamp) {
    return InStepState{stamp.modified, stamp.size};
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

// What one pass works with: the system, what earlier copies showed, its caller's wish
// to follow it or stop it, and its terms.
struct PassContext {
    FileSystem& fileSystem;
    CopyMemory& memory;
    const PassControl& control;
    const PassTerms& terms;
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

// Before a copy: whether the target is the source's own file under another name. Such a
// pair shows one time and size; only then is an identity the look did not give asked for.
bool isSameFileAsked(const Candidate& target, const Candidate& source, PassContext& pass) {
    if (sameFile(target, source)) {
        return true;
    }
    if (target.stamp.modified != source.stamp.modified || target.stamp.size != source.stamp.size ||
        (hasVolumeIdentity(target) && hasVolumeIdentity(source))) {
        return false;
    }
    return pass.fileSystem.identityOf(target.path)
        .sameFileAs(pass.fileSystem.identityOf(source.path));
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

// Windows keeps FAT times in local time, so a daylight-saving change moves each file on
// such a volume by an hour; one whose size stayed has not changed.
bool movedByDaylightSaving(const Candidate& file, const InStepState& remembered,
                           PassContext& pass) {
    return file.stamp.size == remembered.size &&
           isHourShift(remembered.modified, file.stamp.modified) && onTwoSecondVolume(file, pass);
}

SinceInStep sinceInStep(const Candidate& file, PassContext& pass) {
    const auto& remembered = pass.terms.inStep[indexOf(file.slot)];
    if (!remembered) {
        return SinceInStep::Unknown;
    }
    if (stateOf(file.stamp) == *remembered || movedByDaylightSaving(file, *remembered, pass)) {
        return SinceInStep::Unchanged;
    }
    return SinceInStep::Changed;
}

bool bothInStepKnown(const Candidate& a, const Candidate& b) {
    return a.since != SinceInStep::Unknown && b.since != SinceInStep::Unknown;
}

// Between two files with in-step states: one that changed since wins over one that did
// not, whatever their times say; two that both changed go by their full times.
int compareBySinceInStep(const Candidate& a, const Candidate& b) {
    if (a.since != b.since) {
        return a.since == SinceInStep::Changed ? 1 : -1;
    }
    return a.since == SinceInStep::Unchanged ? 0
                                             : compareExactly(a.stamp.modified, b.stamp.modified);
}

// Which of two files is the newer: by their in-step states where both have one, else by
// their times alone, at the coarser precision of the two.
bool isLater(const Candidate& a, const Candidate& b) {
    if (bothInStepKnown(a, b)) {
        return compareBySinceInStep(a, b) > 0;
    }
    return compareAtCoarserPrecision(a.stamp.modified, b.stamp.modified) > 0;
}

// Whether two files are in step: by their in-step states where both have one; only
// files without one are judged by the precision and steps of their volumes.
bool countsEqual(const Candidate& a, const Candidate& b, PassContext& pass) {
    if (!sameFile(a, b) && bothInStepKnown(a, b)) {
        return compareBySinceInStep(a, b) == 0;
    }
    return sameTime(a, b, pass);
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

// The outcome of a pass that leaves the files in step: their in-step states go with it
// when they differ from those the pass was given.
SyncOutcome inStepOutcome(SyncOutcome outcome, const InStepStates& states,
                          const PassContext& pass) {
    if (states != pass.terms.inStep) {
        outcome.inStep = states;
    }
    return outcome;
}

InStepStates statesOf(const std::vector<const Candidate*>& files) {
    InStepStates states;
    for (const Candidate* file : files) {
        states[indexOf(file->slot)] = stateOf(file->stamp);
    }
    return states;
}

// A file whose time was set anew is looked at again for its in-step state.
void lookAgain(const Candidate& file, InStepStates& states, PassContext& pass) {
    const auto look = pass.fileSystem.findOrdinaryFile(file.path);
    auto& state = states[indexOf(file.slot)];
    state.reset();
    if (look && look.value()) {
        state = stateOf(*look.value());
    }
}

// The targets of a copy, sorted: those that already hold the source's bytes, and those
// that receive them. A target that is the source's own file is neither, but the status
// line names it.
struct SortedTargets {
    std::vector<const Candidate*> sameBytes;
    std::vector<const Candidate*> toCopy;
    std::vector<int> namedSlots;
};

std::optional<SyncOutcome> sortTargets(const Candidate& source,
                                       const std::vector<const Candidate*>& targets,
                                       SortedTargets& sorted, PassContext& pass) {
    for (const Candidate* target : targets) {
        if (isSameFileAsked(*target, source, pass)) {
            sorted.namedSlots.push_back(target->slot);
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
            sorted.sameBytes.push_back(target);
        } else {
            sorted.toCopy.push_back(target);
            sorted.namedSlots.push_back(target->slot);
        }
    }
    return std::nullopt;
}

// The reason a copy failed, as the user reads it.
std::string copyFailure(const Candidate& target, const std::string& reason) {
    if (std::string_view(reason).substr(0, platform::kTargetChangedMeanwhile.size()) ==
        platform::kTargetChangedMeanwhile) {
        return slotName(target.slot) + " changed while it was being updated";
    }
    return reason;
}

SyncOutcome endedEarly(SyncOutcome outcome, SyncResult result, std::string reason = {}) {
    outcome.result = result;
    outcome.reason = std::move(reason);
    return outcome;
}

// Copies source over one target, as the pass compared it: a target changed meanwhile is
// left as it is. What it replaced goes into the outcome.
platform::Status copyOnto(const Candidate& source, const Candidate& target, InStepStates& states,
                          SyncOutcome& outcome, PassContext& pass) {
    auto copied = pass.fileSystem.replaceWithCopy(
        source.path, target.path, platform::ReplaceTerms{target.stamp, pass.terms.keepReplaced},
        followCopy(target, pass));
    if (!copied) {
        return platform::Error{copyFailure(target, copied.reason())};
    }
    outcome.replaced.push_back(
        ReplacedContent{target.slot, copied.value().kept, target.since == SinceInStep::Changed});
    states[indexOf(source.slot)] = InStepState{copied.value().source, source.stamp.size};
    states[indexOf(target.slot)] = InStepState{copied.value().target, source.stamp.size};
    return judgeCopiedTime(target, copied.value(), pass);
}

// A failed copy ends the pass. One whose target could not take the source's time is in
// place all the same: once the last one is, the files are in step, and the next pass
// must not copy again.
SyncOutcome failedCopy(SyncOutcome outcome, std::size_t copiesWanted, const InStepStates& states,
                       const PassContext& pass, std::string reason) {
    const bool allInPlace = outcome.replaced.size() == copiesWanted;
    outcome = endedEarly(std::move(outcome), SyncResult::Failed, std::move(reason));
    return allInPlace ? inStepOutcome(std::move(outcome), states, pass) : outcome;
}

// Copies source over each target in turn; stops at the first failure, and copies made
// before it stay.
SyncOutcome copyEach(const Candidate& source, const SortedTargets& sorted, InStepStates& states,
                     PassContext& pass) {
    SyncOutcome outcome;
    outcome.sourceSlot = source.slot;
    for (const Candidate* target : sorted.toCopy) {
        if (cancelled(pass)) {
            return endedEarly(std::move(outcome), SyncResult::Cancelled);
        }
        if (auto copied = copyOnto(source, *target, states, outcome, pass); !copied) {
            return cancelled(pass) ? endedEarly(std::move(outcome), SyncResult::Cancelled)
                                   : failedCopy(std::move(outcome), sorted.toCopy.size(), states,
                                                pass, copied.reason());
        }
    }
    outcome.result = SyncResult::Copied;
    outcome.statusPrefix = updatedPrefix(sorted.namedSlots);
    outcome.updatedSlots = sorted.namedSlots;
    return inStepOutcome(std::move(outcome), states, pass);
}

// A copy dated in the future never wins: it would replace every later edit, forever.
SyncOutcome datedAhead(const Candidate& source) {
    SyncOutcome outcome = failed(slotName(source.slot) + " (" + source.path + ") is dated " +
                                 localDateTimeText(source.stamp.modified) +
                                 ", more than five minutes ahead of this computer's clock, so "
                                 "it does not replace the others");
    outcome.needsTheUser = true;
    return outcome;
}

// Copies source over each target that does not already hold its bytes; a target that is
// the source's own file is left alone. Nothing copied is the equal outcome.
SyncOutcome copyOver(const Candidate& source, const std::vector<const Candidate*>& targets,
                     PassContext& pass) {
    if (isFarAhead(source.stamp.modified, kMostSecondsAhead)) {
        return datedAhead(source);
    }
    SortedTargets sorted;
    if (auto ended = sortTargets(source, targets, sorted, pass)) {
        return *ended;
    }
    std::vector<const Candidate*> files = targets;
    files.push_back(&source);
    InStepStates states = statesOf(files);
    if (!sorted.sameBytes.empty()) {
        settleTimesOfSameBytes(source, sorted.sameBytes, pass);
        lookAgain(source, states, pass);
        for (const Candidate* file : sorted.sameBytes) {
            lookAgain(*file, states, pass);
        }
    }
    if (sorted.toCopy.empty()) {
        return inStepOutcome(SyncOutcome{}, states, pass);
    }
    return copyEach(source, sorted, states, pass);
}

SyncOutcome syncPair(const Candidate& low, const Candidate& high, PassContext& pass) {
    if (countsEqual(low, high, pass)) {
        return inStepOutcome(SyncOutcome{}, statesOf({&low, &high}), pass);
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
                    [&](const Candidate& file) { return countsEqual(file, *newest, pass); })) {
        return inStepOutcome(SyncOutcome{}, statesOf({&one, &two, &three}), pass);
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

// Each file against its in-step state. A time no two-second volume can hold also shows
// that the file's volume is none, whatever an earlier volume with its device number was.
void judgeSinceInStep(std::vector<Candidate>& files, PassContext& pass) {
    for (Candidate& file : files) {
        if (hasVolumeIdentity(file)) {
            pass.memory.noteTimeOnVolume(file.stamp.identity.device, file.stamp.modified);
        }
    }
    for (Candidate& file : files) {
        file.since = sinceInStep(file, pass);
    }
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
                              const PassControl& control, const PassTerms& terms) {
    return syncSelectedFiles(slots, fileSystem, memoryOfThisRun(), control, terms);
}

SyncOutcome syncSelectedFiles(const FileSlots& slots, FileSystem& fileSystem, CopyMemory& memory,
                              const PassControl& control, const PassTerms& terms) {
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
        PassContext pass{fileSystem, memory, control, terms};
        judgeSinceInStep(files, pass);
        outcome = files.size() == 2 ? syncPair(files[0], files[1], pass)
                                    : syncTriple(files, workingPaths, pass);
    }
    outcome->workingPaths = std::move(workingPaths);
    return std::move(*outcome);
}

}  // namespace kelvane::sync
