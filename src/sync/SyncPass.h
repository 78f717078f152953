#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "sync/CopyMemory.h"
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

struct SyncOutcome {
    SyncResult result = SyncResult::Equal;
    std::string statusPrefix;  // "File2 updated ", "File1 and File3 updated ", ...
    std::string message;       // text of the refusal's message box
    std::string reason;        // what went wrong, for a failure
    std::array<std::string, 3> workingPaths;
    // For a copy, the slots statusPrefix names, 1 to 3.
    std::vector<int> updatedSlots;
};

inline constexpr const char* kSyncFailedLine = "Sync failed. File(s) might be open in other app.";
inline constexpr const char* kSelectAtLeastTwo = "Select at least two files";
inline constexpr const char* kNamesMustMatch = "File names must be identical in each folder.";

// "File2 not found", two line breaks, and the hint.
std::string notFoundMessage(int slotNumber);

// One sync pass over the three slots (the classic SyncSelectedFiles procedure): refuses a
// wrong selection, finds the newest of the ticked files by last-modified time and copies
// it over the older ones. The caller shows
// the outcome: the status text (prefix, date, " at ", time), a message or the failure line.
// Times count as equal at the coarser precision the two files show, and within two
// seconds where one lies on a volume that keeps two-second steps. What copies showed
// about their targets' times is kept in the run's memory.
SyncOutcome syncSelectedFiles(const FileSlots& slots, platform::FileSystem& fileSystem);

// The same, followed and stoppable by its caller.
SyncOutcome syncSelectedFiles(const FileSlots& slots, platform::FileSystem& fileSystem,
                              const PassControl& control);

// The same with a memory of its own (tests start each case afresh).
SyncOutcome syncSelectedFiles(const FileSlots& slots, platform::FileSystem& fileSystem,
                              CopyMemory& memory, const PassControl& control = {});

}  // namespace kelvane::sync
