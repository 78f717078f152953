#include "settings/SettingsFile.h"

#include <algorithm>
#include <array>

#include "settings/IniDocument.h"
#include "settings/LeadingNumber.h"

namespace kelvane::settings {
namespace {

struct Key {
    std::string_view section;
    std::string_view name;
};

constexpr std::string_view kFiles = "FilePathAndFileNames";
constexpr std::string_view kSelected = "SelectedFiles";
constexpr std::string_view kSync = "SyncSettings";
constexpr std::string_view kEvents = "SyncEvents";
constexpr std::string_view kLocation = "FormLocation";

// The eleven keys in the order a save writes them, which is the order of a new file.
constexpr std::array<Key, 11> kKeys = {{
    {kFiles, "File1"},
    {kFiles, "File2"},
    {kFiles, "File3"},
    {kSelected, "File1_Selected"},
    {kSelected, "File2_Selected"},
    {kSelected, "File3_Selected"},
    {kSync, "SyncInterval"},
    {kSync, "AutoSync"},
    {kEvents, "LastSyncEvent"},
    {kLocation, "FormTop"},
    {kLocation, "FormLeft"},
}};

// Values in the same order as kKeys, as the user means them (UTF-8).
std::array<std::string, 11> valuesOf(const AppSettings& settings) {
    return {settings.File1,
            settings.File2,
            settings.File3,
            std::to_string(settings.File1_Selected),
            std::to_string(settings.File2_Selected),
            std::to_string(settings.File3_Selected),
            settings.SyncInterval,
            settings.AutoSync,
            settings.LastSyncEvent,
            wholeTwipsText(settings.FormTop),
            wholeTwipsText(settings.FormLeft)};
}

class StoredValues {
  public:
    StoredValues(const platform::FileSystem& fileSystem, std::string_view bytes)
        : fileSystem_(fileSystem),
          document_(IniDocument::parse(bytes, fileSystem.nativeLineEnd())) {}

    std::string text(std::size_t row) const {
        const auto stored = document_.value(kKeys[row].section, kKeys[row].name);
        return stored ? fileSystem_.fromProfileBytes(*stored) : std::string();
    }
    int checkBox(std::size_t row) const { return checkBoxStateFrom(text(row)); }
    double position(std::size_t row) const { return leadingNumber(text(row)); }

  private:
    const platform::FileSystem& fileSystem_;
    IniDocument document_;
};

std::size_t separatorPosition(const std::string& path, char separator) {
    const std::size_t slash = path.rfind('/');
    const std::size_t native = path.rfind(separator);
    if (slash == std::string::npos) {
        return native;
    }
    return native == std::string::npos ? slash : std::max(slash, native);
}

std::string withoutExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
}

}  // namespace

std::string iniFilePathFor(const std::string& executablePath, char separator) {
    const std::size_t split = separatorPosition(executablePath, separator);
    if (split == std::string::npos) {
        return withoutExtension(executablePath) + ".ini";
    }
    return executablePath.substr(0, split) + separator +
           withoutExtension(executablePath.substr(split + 1)) + ".ini";
}

bool SettingsFileExists(platform::FileSystem& fileSystem, const std::string& iniFilePath) {
    const auto presence = fileSystem.presence(iniFilePath);
    return presence && presence.value() == platform::Presence::OrdinaryFile;
}

AppSettings settingsFromFileBytes(const platform::FileSystem& fileSystem, std::string_view bytes) {
    const StoredValues stored(fileSystem, bytes);
    AppSettings settings;
    settings.File1 = stored.text(0);
    settings.File2 = stored.text(1);
    settings.File3 = stored.text(2);
    settings.File1_Selected = stored.checkBox(3);
    settings.File2_Selected = stored.checkBox(4);
    settings.File3_Selected = stored.checkBox(5);
    settings.SyncInterval = stored.text(6);
    settings.AutoSync = stored.text(7);
    settings.LastSyncEvent = stored.text(8);
    settings.FormTop = stored.position(9);
    settings.FormLeft = stored.position(10);
    return settings;
}

AppSettings LoadSettingsFromINI(platform::FileSystem& fileSystem, const std::string& iniFilePath) {
    const auto bytes = fileSystem.readFile(iniFilePath);
    return settingsFromFileBytes(fileSystem, bytes ? std::string_view(bytes.value()) : "");
}

std::string fileBytesWithSettings(const platform::FileSystem& fileSystem,
                                  std::string_view existingBytes, const AppSettings& settings) {
    IniDocument document = IniDocument::parse(existingBytes, fileSystem.nativeLineEnd());
    const auto values = valuesOf(settings);
    for (std::size_t row = 0; row < kKeys.size(); ++row) {
        document.setValue(kKeys[row].section, kKeys[row].name,
                          storedFormOf(fileSystem.toProfileBytes(values[row])));
    }
    return document.text();
}

platform::Status SaveSettingsToINI(platform::FileSystem& fileSystem, const std::string& iniFilePath,
                                   const AppSettings& settings) {
    auto existing = fileSystem.readFile(iniFilePath);
    if (!existing) {
        // Only a file that is not there may be started afresh; overwriting one that could
        // not be read would lose the user's other keys.
        const auto presence = fileSystem.presence(iniFilePath);
        if (!presence) {
            return platform::Error{presence.reason()};
        }
        if (presence.value() == platform::Presence::OrdinaryFile) {
            return platform::Error{existing.reason()};
        }
        existing = std::string();
    }
    return fileSystem.writeFileAtomically(
        iniFilePath, fileBytesWithSettings(fileSystem, existing.value(), settings));
}

}  // namespace kelvane::settings
