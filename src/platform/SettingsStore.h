#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kelvane::platform {

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

// The operating system, as the settings file needs it: a careful look at the file's path,
// a bounded read, an atomic write, the file's byte encoding and line end, and the user's
// own settings folder. The POSIX and Windows implementations live beside this header.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

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
std::unique_ptr<SettingsStore> makeSystemSettingsStore();

}  // namespace kelvane::platform
