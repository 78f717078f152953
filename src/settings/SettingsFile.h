#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Result.h"

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
    int File1_Selected = 1, File2_Selected = 1, File3_Selected = 0;  // 0, 1 or greyed 2
    std::string SyncInterval = "10";  // as typed; judged only when auto sync starts
    std::string AutoSync = "OFF";     // "ON" switches auto sync on, compared exactly
    std::string LastSyncEvent = "NIL";
    double FormTop = 0, FormLeft = 0;  // twips

    friend bool operator==(const AppSettings&, const AppSettings&) = default;
};

// The settings file beside the executable: its folder, separator, the executable's name
// without extension, ".ini". Both "/" and separator count as separators in the executable
// path, because Qt hands out "/" paths on Windows too.
std::string iniFilePathFor(const std::string& executablePath, char separator);

// True when an ordinary file is there (on Windows, not a hidden or system one). A file
// that cannot be looked at counts as missing: the program then starts as on a first run.
bool SettingsFileExists(platform::FileSystem& fileSystem, const std::string& iniFilePath);

// Every field from the file. A missing file, section or key (or a file that cannot be
// read) gives empty text and 0, never the first-run defaults; nothing stored can fail it.
AppSettings LoadSettingsFromINI(platform::FileSystem& fileSystem, const std::string& iniFilePath);

// Stores every field in the file in one atomic replacement: a crash leaves the old file or
// the new one. Keys and lines the program does not know are kept. A failure (read-only
// folder, full disk, a file that cannot be read) leaves the old file as it was and says why.
platform::Status SaveSettingsToINI(platform::FileSystem& fileSystem, const std::string& iniFilePath,
                                   const AppSettings& settings);

// The two halves of load and save without the file itself: the settings that a file's
// bytes hold, and the bytes a save makes from an existing file's bytes.
AppSettings settingsFromFileBytes(const platform::FileSystem& fileSystem, std::string_view bytes);
std::string fileBytesWithSettings(const platform::FileSystem& fileSystem,
                                  std::string_view existingBytes, const AppSettings& settings);

}  // namespace kelvane::settings
