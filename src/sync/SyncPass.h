#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "sync/CopyMemory.h"
#include "sync/InStep.h"
#include "sync/Tick.h"

namespace kelvane::sync {

// One numbered file entry as the window holds it: the typed path and its tick box state.
struct FileSlot {
    std::string pathText;
    Tick tick = Tick::Off;  // only a ticked slot takes part; a greyed one is left out
};

using FileSlots = std::array<FileSlot, 3>;

enum class SyncResult {
    Copied,     // statusPrefix names the updated slots
    Equal,      // times equal: nothing copied
    Refused,    // the selection is wrong: message says why; no file was touched
    Failed,     // the pass broke off: failureLine for the user, reason for the curious
    Cancelled,  // stopped on request between two chunks of a copy; that target unchanged
};

// How far the copy onto one target has come.
struct CopyProgress {
    int targetSlot = 0;  // 1 to 3
    std::uint64_t copiedBytes = 0;
    std::uint64_t totalBytes = 0;
};

// Lets whoever runs a pass follow its copies and stop it. Both are called on the pass's
// own thread, between chunks of a copy; either may be left empty.
struct PassControl {
    std::function<void(const CopyProgress&)> progressed;
    std::function<bool()> cancelled;
};

// What a pass goes by besides the slots.
struct PassTerms {
    // Each slot's state when the ticked files were last in step, for the slots as given.
    InStepStates inStep;
    // Keep what a copy replaces where the system keeps deleted files.
    bool keepReplaced = true;
};

// The content one copy replaced: where it went, and whether it had changed since the
// files were last in step (then the user lost an edit of theirs to a newer one).
struct ReplacedContent {
    int slot = 0;
    platform::KeptCopy kept;
    bool hadOwnChanges = false;
};

struct SyncOutcome {
    SyncResult result = SyncResult::Equal;
    std::string statusPrefix;  // "File2 updated ", "File1 and File3 updated ", ...
    std::string message;       // text of the refusal's message box
    std::string reason;        // what went wrong, for a failure
    // A failure that comes back at every pass until the user acts (a copy dated in the
    // future): worth its reason in a notice.
    bool needsTheUser = false;
    std::array<std::string, 3> workingPaths;
    // For a copy, the slots statusPrefix names, 1 to 3, the slot copied from, and what
    // each copy that was made replaced (also those made before a failure).
    std::vector<int> updatedSlots;
    int sourceSlot = 0;
    std::vector<ReplacedContent> replaced;
    // After a pass that left the ticked files in step, each one's in-step state, when that
    // differs from what the pass was given; nothing otherwise.
    std::optional<InStepStates> inStep;
};

inline constexpr const char* kSyncFailedLine = "Sync failed. File(s) might be open in other app.";
inline constexpr const char* kSelectAtLeastTwo = "Select at least two files";
inline constexpr const char* kNamesMustMatch = "File names must be identical in each folder.";

// "File2 not found", two line breaks, and the hint.
std::string notFoundMessage(int slotNumber);

// A copy dated further ahead of this computer's clock than this never wins (a wrong
// clock, an unpacked archive): it would replace every later edit of the others.
inline constexpr std::int64_t kMostSecondsAhead = 5 * 60;

// One sync pass over the three slots (the classic SyncSelectedFiles procedure): refuses a
// wrong selection, finds the newest of the ticked files by last-modified time and copies
// it over the older ones. The caller shows
// the outcome: the status text (prefix, date, " at ", time), a message or the failure line.
// A file that differs from its in-step state has changed since and wins over one that has
// not, however small the difference; two that both changed go by their full times. Files
// without an in-step state count as equal at the coarser precision the two show, and
// within two seconds where one lies on a volume that keeps two-second steps. What copies
// showed about their targets' times is kept in the run's memory.
SyncOutcome syncSelectedFiles(const FileSlots& slots, platform::FileSystem& fileSystem);

// The same, followed and stoppable by its caller.
SyncOutcome syncSelectedFiles(const FileSlots& slots, platform::FileSystem& fileSystem,
                              const PassControl& control, const PassTerms& terms = {});

// The same with a memory of its own (tests start each case afresh).
SyncOutcome syncSelectedFiles(const FileSlots& slots, platform::FileSystem& fileSystem,
                              CopyMemory& memory, const PassControl& control = {},
                              const PassTerms& terms = {});

}  // namespace kelvane::sync
