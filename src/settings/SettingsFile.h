#pragma once

#include <cstddef>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "platform/Result.h"
#include "platform/SettingsStore.h"
#include "sync/InStep.h"
#include "sync/Tick.h"

namespace kelvane::settings {

// The example paths a first run shows: one file name in two folders, in the system's own
// spelling. Outside Windows they lie in the user's home folder, so they are real paths.
inline std::string firstRunExample(int slot) {
#ifdef _WIN32
    return slot == 1 ? "C:\\SomePath\\ExampleFolder\\file1.txt"
                     : "C:\\CloudPath\\ExampleFolder\\file1.txt";
#else
    const char* home = std::getenv("HOME");
    std::string folder = home != nullptr ? home : "";
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder +
           (slot == 1 ? "/Documents/ExampleFolder/file1.txt" : "/Cloud/ExampleFolder/file1.txt");
#endif
}

// The settings the window keeps between runs. The defaults are what the window shows on a
// first run, before any settings file exists.
struct AppSettings {
    std::string File1 = firstRunExample(1);
    std::string File2 = firstRunExample(2);
    std::string File3;
    // Stored as 0, 1 and 2 for greyed.
    sync::Tick File1_Selected = sync::Tick::On, File2_Selected = sync::Tick::On,
               File3_Selected = sync::Tick::Off;
    std::string SyncInterval = "10";  // as typed; judged only when auto sync starts
    std::string AutoSync = "OFF";     // "ON" switches auto sync on, compared exactly
    std::string LastSyncEvent = "NIL";
    double FormTop = 0, FormLeft = 0;  // twips
    // Read, never written: [SyncSettings] KeepReplaced=OFF, exactly so, stops copies
    // keeping what they replace; a missing key or any other value keeps them.
    bool KeepReplaced = true;
    // [SyncState], after the other sections: each slot's state when the ticked files were
    // last in step, for its path as stored beside it; nothing for a slot without one.
    sync::InStepStates SyncState;

    friend bool operator==(const AppSettings&, const AppSettings&) = default;
};

// The settings file beside the executable: its folder, separator, the executable's name
// without extension, ".ini". Both "/" and separator count as separators in the executable
// path, because Qt hands out "/" paths on Windows too.
std::string iniFilePathFor(const std::string& executablePath, char separator);

// How the program was installed, which decides where settings may live.
enum class Installation {
    Portable,  // a copy the user put anywhere: its settings beside it where possible
    System,    // in the system's own folders (the Debian package): never beside it
};

// Where the settings live. A portable copy uses a file beside the executable whenever
// there is one, and that folder when the user may create files in it; otherwise, and
// always for a system install, every user (root included, who may write the system's
// folders) keeps them under the same name in their own settings folder. Only a user
// without any settings folder falls back to the file beside the executable.
std::string settingsFilePathFor(platform::SettingsStore& store, const std::string& executablePath,
                                char separator, Installation installation);

// A settings file is never larger than this. A larger file is neither read nor replaced:
// it cannot be one Kelvane wrote, and reading whatever took its place could exhaust memory.
constexpr std::size_t kSettingsFileLimit = 1 << 20;

// What start-up finds at the settings path.
struct SettingsFileCheck {
    bool loadable = false;     // an ordinary file to load (on Windows also a hidden one)
    platform::Status trouble;  // why what is there cannot be used; the user is told
};

// A folder, FIFO, device or a file above the size limit is not loadable and is a trouble;
// nothing there, or a path that cannot be looked at, starts the program as on a first run.
SettingsFileCheck checkSettingsFile(platform::SettingsStore& store, const std::string& iniFilePath);

// True when checkSettingsFile finds a file to load.
bool settingsFileExists(platform::SettingsStore& store, const std::string& iniFilePath);

// Every field from the file (the classic LoadSettingsFromINI step). A missing file,
// section or key (or a file that cannot be read) gives empty text and 0, never the
// first-run defaults; nothing stored can fail it.
AppSettings loadSettings(platform::SettingsStore& store, const std::string& iniFilePath);

// Stores every field in the file (the classic SaveSettingsToINI step) in one atomic
// replacement: a crash leaves the old file or the new one. Keys and lines the program does not
// know, and the file's encoding, are kept; only a file in the system's 8-bit text that cannot hold
// a value (a character the ANSI code page lacks) is written in UTF-16LE with its mark from then on.
// A read-only file, anything but an ordinary file and a file above the size limit are left
// untouched; a failure (read-only folder, full disk, a file that cannot be read) leaves the old
// file as it was and says why. The user's own settings folder is created when it is missing.
platform::Status saveSettings(platform::SettingsStore& store, const std::string& iniFilePath,
                              const AppSettings& settings);

// Remembers which settings troubles the user has been told of, so that each is told once
// (a read-only file is not mentioned again at every "Hide to tray"). A save that works
// forgets them: a trouble that comes back after that is news again.
class TroubleMemory {
  public:
    // True when outcome is a failure the user has not been told of yet.
    bool isNews(const platform::Status& outcome) {
        if (outcome.ok()) {
            told_.clear();
            return false;
        }
        return told_.insert(outcome.reason()).second;
    }

  private:
    std::set<std::string> told_;
};

// The two halves of load and save without the file itself: the settings that a file's
// bytes hold, and the bytes a save makes from an existing file's bytes.
AppSettings settingsFromFileBytes(const platform::SettingsStore& store, std::string_view bytes);
std::string fileBytesWithSettings(const platform::SettingsStore& store,
                                  std::string_view existingBytes, const AppSettings& settings);

}  // namespace kelvane::settings
