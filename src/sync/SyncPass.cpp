#include "sync/SyncPass.h"

#include <optional>
#include <vector>

namespace kelvane::sync {
namespace {

using platform::FileStamp;
using platform::FileSystem;

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
    return slot.selected == 1;
}

// The same path text, or two spellings the file system takes for one file.
bool sameFile(const Candidate& a, const Candidate& b) {
    return a.path == b.path || a.stamp.identity.sameFileAs(b.stamp.identity);
}

// Times are compared in whole seconds. On the FAT family, which keeps two-second steps
// and rounds, a fresh copy can land up to a second away, so times closer than two
// seconds count as equal there; otherwise the next pass would copy again.
int compareTimes(const Candidate& a, const Candidate& b, FileSystem& fileSystem) {
    if (sameFile(a, b)) {
        return 0;  // one file under two names
    }
    const std::int64_t difference = a.stamp.modified.seconds - b.stamp.modified.seconds;
    if (difference == 0) {
        return 0;
    }
    if ((difference == 1 || difference == -1) &&
        (fileSystem.hasCoarseTimes(a.path) || fileSystem.hasCoarseTimes(b.path))) {
        return 0;
    }
    return difference > 0 ? 1 : -1;
}

std::string updatedPrefix(const std::vector<int>& targets) {
    std::string prefix = slotName(targets.front());
    if (targets.size() == 2) {
        prefix += " and " + slotName(targets.back());
    }
    return prefix + " updated ";
}

// Copies source over each target in order; a target that is the source's own file is
// left alone. Stops at the first failure; copies made before it stay.
SyncOutcome copyOver(const Candidate& source, const std::vector<const Candidate*>& targets,
                     FileSystem& fileSystem) {
    std::vector<int> targetSlots;
    for (const Candidate* target : targets) {
        targetSlots.push_back(target->slot);
        if (sameFile(*target, source)) {
            continue;
        }
        if (auto copied = fileSystem.replaceWithCopy(source.path, target->path); !copied) {
            return failed(copied.reason());
        }
    }
    SyncOutcome outcome;
    outcome.result = SyncResult::Copied;
    outcome.statusPrefix = updatedPrefix(targetSlots);
    return outcome;
}

SyncOutcome syncPair(const Candidate& low, const Candidate& high, FileSystem& fileSystem) {
    const int order = compareTimes(low, high, fileSystem);
    if (order == 0) {
        return SyncOutcome{};
    }
    return order > 0 ? copyOver(low, {&high}, fileSystem) : copyOver(high, {&low}, fileSystem);
}

SyncOutcome syncTriple(const std::vector<Candidate>& files,
                       const std::array<std::string, 3>& workingPaths, FileSystem& fileSystem) {
    const Candidate& one = files[0];
    const Candidate& two = files[1];
    const Candidate& three = files[2];
    if (compareTimes(one, two, fileSystem) == 0 && compareTimes(two, three, fileSystem) == 0) {
        return SyncOutcome{};
    }
    const Candidate* newest = compareTimes(one, two, fileSystem) > 0 ? &one : &two;
    if (compareTimes(three, *newest, fileSystem) > 0) {
        newest = &three;
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
    return copyOver(files[static_cast<std::size_t>(sourceIndex)], targets, fileSystem);
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

SyncOutcome SyncSelectedFiles(const FileSlots& slots, FileSystem& fileSystem,
                              const PassControl& /*control*/) {
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
        outcome = files.size() == 2 ? syncPair(files[0], files[1], fileSystem)
                                    : syncTriple(files, workingPaths, fileSystem);
    }
    outcome->workingPaths = workingPaths;
    return *outcome;
}

}  // namespace kelvane::sync
