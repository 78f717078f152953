#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kelvane::platform {

// A last-modified time as seconds and nanoseconds since 1970-01-01 UTC. Comparing the
// UTC instant rather than local wall-clock text keeps daylight-saving changes from
// making an old file look new.
struct FileTime {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;

    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// Where the content a copy replaced was kept.
struct KeptCopy {
    enum class Place {
        Nowhere,     // not kept: keeping was switched off
        Trash,       // the desktop's trash (Linux)
        RecycleBin,  // Windows
        Folder,      // `folder`: a hidden folder beside the file, on a volume without either
    };
    Place place = Place::Nowhere;
    std::string folder;
};

// A finished copy's times: the source's, as it was copied, and the target's, read back
// after the copy took the target's place. File systems keep times at their own
// precision, so the two can differ. `kept` says where the replaced content went.
struct CopiedTimes {
    FileTime source;
    FileTime target;
    KeptCopy kept = {};
};

// Told after each chunk of a copy how many of how many bytes are copied; false stops it.
using CopyProgressHandler = std::function<bool(std::uint64_t copied, std::uint64_t total)>;

// The bytes a copy moves between two looks at its progress: small enough that a stop is
// answered within a fraction of a second even on a slow stick, large enough that the
// looks cost nothing measurable.
inline constexpr std::uint64_t kCopyChunk = 8 << 20;

// Identity of the file behind a path, so two spellings of one file are known as one.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;  // 0 where the system gives no identity (some network shares)

    // Only a known identity can tell that two paths name one file.
    bool sameFileAs(const FileIdentity& other) const { return file != 0 && *this == other; }

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// One look at an existing ordinary file: its time and identity, taken together so a
// pass needs a single system call per file.
struct FileStamp {
    FileTime modified;
    FileIdentity identity;
    std::uint64_t size = 0;
};

// What a replacement must respect besides its source and target.
struct ReplaceTerms {
    // The target's time and size as the caller compared them: a target that shows
    // anything else just before the new content would take its place was changed
    // meanwhile, and is left as it is, and the reason begins with kTargetChangedMeanwhile.
    std::optional<FileStamp> expectedTarget;
    // Keep the replaced content where the system keeps deleted files; when that is not
    // possible the replacement fails and the target stays as it was.
    bool keepReplaced = true;
};

// The reason a replacement gives when the target changed under it.
inline constexpr std::string_view kTargetChangedMeanwhile = "The target changed meanwhile: ";

// The operating system's files, as the sync pass needs them. The POSIX and Windows
// implementations live beside this header; tests wrap one to inject faults.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // The typed path as the system will use it ("/" becomes "\" on Windows).
    virtual std::string workingPath(std::string_view typedPath) const = 0;

    // The last component of a working path; never a drive prefix.
    virtual std::string fileName(std::string_view workingPath) const = 0;

    // Looks at a path once, following symbolic links: the time and size of the ordinary
    // file there, and its identity where that comes with the same call (POSIX), or
    // nothing when the path names no file, a folder or (on Windows) a hidden or system
    // file. An error means the question could not be answered (a folder on the way
    // cannot be searched, the path is longer than the system takes).
    virtual Result<std::optional<FileStamp>> findOrdinaryFile(const std::string& path) = 0;

    // The identity of the file at a path, for the look that did not give it (Windows,
    // where it costs a handle and a question to the volume): unknown (file 0) where the
    // system gives none, or the file cannot be opened.
    virtual FileIdentity identityOf(const std::string& path) = 0;

    // True when the file lies on a volume known by its type to store times at two-second
    // steps (the FAT family). Asked only when two times differ by less than two seconds,
    // or a file's time by an hour from the one it showed when last in step.
    virtual bool hasCoarseTimes(const std::string& path) = 0;

    // Replaces target's content and last-modified time with source's, atomically: the
    // target holds either its old bytes and time or the new ones, never a mix, and is
    // left exactly as it was on any failure. Leaves no temporary file behind. Refuses a
    // target the running user may not write and one with other names (hard links),
    // which a replacement would leave holding the old content. The target keeps its
    // permissions, extended attributes and access control list, and its owner where
    // the system allows. Once the new content is in place, a time that could not be set
    // is no failure: the caller judges the time read back.
    // `progress`, when given, is told how far the copy has come after each chunk; when it
    // answers false the copy stops there, its temporary file goes and the target stays
    // as it was. `terms` say what else must hold (see ReplaceTerms).
    virtual Result<CopiedTimes> replaceWithCopy(const std::string& source,
                                                const std::string& target,
                                                const ReplaceTerms& terms,
                                                const CopyProgressHandler& progress = {}) = 0;

    // True when the two files hold the same bytes. Reads both a piece at a time and stops
    // at the first difference, so an edit costs one piece; `keepGoing`, when given, is
    // asked between pieces, and a false answer ends the comparison with an error.
    virtual Result<bool> haveSameContent(const std::string& first, const std::string& second,
                                         const std::function<bool()>& keepGoing = {}) = 0;

    // Gives a file the last-modified time `wanted`, but only while it still shows
    // `expected`: an edit made meanwhile keeps its own time.
    virtual Status setModifiedTime(const std::string& path, FileTime expected, FileTime wanted) = 0;
};

// The implementation for the system the program was built for.
std::unique_ptr<FileSystem> makeSystemFileSystem();

#ifdef _WIN32
// The same, putting a copy in its target's place by a plain move instead of the system's
// replace-file call, as on file systems that do not support that call.
std::unique_ptr<FileSystem> makeFileSystemWithPlainMoves();
#endif

}  // namespace kelvane::platform
