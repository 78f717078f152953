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

// A finished copy's times: the source's, as it was copied, and the target's, read back
// after the copy took the target's place. File systems keep times at their own
// precision, so the two can differ.
struct CopiedTimes {
    FileTime source;
    FileTime target;
};

// Told after each chunk of a copy how many of how many bytes are copied; false stops it.
using CopyProgressHandler = std::function<bool(std::uint64_t copied, std::uint64_t total)>;

// The bytes a copy moves between two looks at its progress: small enough that a stop is
// answered within a fraction of a second even on a slow stick, large enough that the
// looks cost nothing measurable.
inline constexpr std::uint64_t kCopyChunk = 8 << 20;

// What the settings file's path holds (symbolic links followed).
struct SettingsFileLook {
    enum class Kind {
        Missing,       // nothing there
        OrdinaryFile,  // on Windows hidden and system files too: they are the user's settings
        Other,         // a folder, FIFO, device or socket: never read or written
    };
    Kind kind = Kind::Missing;
    std::uint64_t size = 0;
    bool writable = true;  // the running user could open it for writing
};

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

// The operating system, as the sync pass and the settings file need it. The POSIX and
// Windows implementations live beside this header; tests wrap one to inject faults.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // The typed path as the system will use it ("/" becomes "\" on Windows).
    virtual std::string workingPath(std::string_view typedPath) const = 0;

    // The last component of a working path; never a drive prefix.
    virtual std::string fileName(std::string_view workingPath) const = 0;

    // Looks at a path once, following symbolic links: the time and identity of the
    // ordinary file there, or nothing when the path names no file, a folder or (on
    // Windows) a hidden or system file. An error means the question could not be
    // answered (a folder on the way cannot be searched, the path is longer than the
    // system takes).
    virtual Result<std::optional<FileStamp>> findOrdinaryFile(const std::string& path) = 0;

    // True when the file lies on a volume known by its type to store times at two-second
    // steps (the FAT family). Asked only when two times differ by less than two seconds.
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
    // as it was.
    virtual Result<CopiedTimes> replaceWithCopy(const std::string& source,
                                                const std::string& target,
                                                const CopyProgressHandler& progress = {}) = 0;

    // True when the two files hold the same bytes. Reads both a piece at a time and stops
    // at the first difference, so an edit costs one piece; `keepGoing`, when given, is
    // asked between pieces, and a false answer ends the comparison with an error.
    virtual Result<bool> haveSameContent(const std::string& first, const std::string& second,
                                         const std::function<bool()>& keepGoing = {}) = 0;

    // Gives a file the last-modified time `wanted`, but only while it still shows
    // `expected`: an edit made meanwhile keeps its own time.
    virtual Status setModifiedTime(const std::string& path, FileTime expected, FileTime wanted) = 0;

    // What is at the settings file's path, seen without opening it, so a FIFO or a
    // device can be refused before anything could block on it.
    virtual Result<SettingsFileLook> lookAtSettingsFile(const std::string& path) = 0;

    // Whole content of an ordinary file of at most maxBytes. Anything else (a FIFO, a
    // device, a file larger than that) is refused without blocking and without reading
    // more than maxBytes + 1 bytes.
    virtual Result<std::string> readFile(const std::string& path, std::size_t maxBytes) = 0;

    // Writes a small file so that a crash leaves the old content or the new, never a
    // torn or empty file.
    virtual Status writeFileAtomically(const std::string& path, std::string_view content) = 0;

    // The settings file's byte encoding from and to UTF-8 (identity where the system's
    // 8-bit text already is UTF-8).
    virtual std::string toProfileBytes(std::string_view utf8) const = 0;
    virtual std::string fromProfileBytes(std::string_view bytes) const = 0;

    // The line end a new settings file uses.
    virtual std::string_view nativeLineEnd() const = 0;

    // The user's own folder for Kelvane's settings ($XDG_CONFIG_HOME/kelvane or
    // ~/.config/kelvane, ~ being $HOME or else the home in the user database;
    // %APPDATA%\Kelvane on Windows), or empty when there is none.
    virtual std::string userSettingsFolder() const = 0;

    // True when the running user may create files in the folder.
    virtual bool canCreateFilesIn(const std::string& folder) = 0;

    // Creates the folder and any missing folders above it.
    virtual Status createFolders(const std::string& folder) = 0;
};

// The implementation for the system the program was built for.
std::unique_ptr<FileSystem> makeSystemFileSystem();

#ifdef _WIN32
// The same, putting a copy in its target's place by a plain move instead of the system's
// replace-file call, as on file systems that do not support that call.
std::unique_ptr<FileSystem> makeFileSystemWithPlainMoves();
#endif

}  // namespace kelvane::platform
