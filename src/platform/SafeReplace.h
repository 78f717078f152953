#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Result.h"

namespace kelvane::platform {

// A stretch [start, end) of new content that holds data; what lies between stretches
// is holes, which read as zeros.
struct ByteRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

// One system's calls for putting new content in a file's place, in the order
// replaceSafely makes them. Each step holds system calls only; the order, the chunks,
// the progress and the stop are replaceSafely's. A step object removes its temporary
// file when it is destroyed before its install.
class ReplaceSteps {
  public:
    virtual ~ReplaceSteps() = default;

    // Temporary files a killed writer left beside the target go first.
    virtual void removeStaleTemporaries() = 0;
    // Opens what the new content comes from and gives its size.
    virtual Result<std::uint64_t> openContent() = 0;
    // Refuses a target that must not be replaced, and notes what it carries over.
    virtual Status checkTarget() = 0;
    // A fresh temporary file beside the target.
    virtual Status createTemporary() = 0;
    // The first stretch of data at or after `at`, or nothing when only holes follow.
    virtual std::optional<ByteRange> nextData(std::uint64_t at) = 0;
    // Copies one stretch into the temporary file at its own offset.
    virtual Status copyRange(ByteRange range) = 0;
    // After the last stretch: the temporary file gets the content's whole length,
    // the target's attributes and the content's time, and is flushed and closed.
    // Fails when the content changed while it was copied.
    virtual Status finishTemporary(std::uint64_t size) = 0;
    // Fails when the target no longer shows what the caller compared.
    virtual Status checkTargetUnchanged() = 0;
    // Keeps the content that is about to be replaced; Nowhere when that is not asked.
    virtual Result<KeptCopy> keepReplaced() = 0;
    // Undoes keepReplaced after a failed install, as far as the system allows.
    virtual void dropKept() = 0;
    // Puts the temporary file in the target's place.
    virtual Status install() = 0;
    // Makes the install durable and reads the times back.
    virtual Result<CopiedTimes> settle() = 0;
};

// Runs the steps: stale temporaries, content, target check, temporary, the content in
// chunks of at most kCopyChunk with `progress` asked before each and at the end (false
// stops), finish, target still unchanged, keep the replaced content, install, settle.
// `source` names the content in the reason a stop gives.
Result<CopiedTimes> replaceSafely(ReplaceSteps& steps, const std::string& source,
                                  const CopyProgressHandler& progress = {});

}  // namespace kelvane::platform
