#include "settings/SettingsFile.h"

#include <algorithm>
#include <array>

#include "settings/IniDocument.h"
#include "settings/LeadingNumber.h"
#include "settings/SettingsEncoding.h"
#include "settings/SyncStateText.h"

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
constexpr std::string_view kSyncState = "SyncState";

constexpr Key kKeepReplaced = {kSync, "KeepReplaced"};
constexpr std::array<Key, 3> kSyncStateKeys = {{
    {kSyncState, "File1"},
    {kSyncState, "File2"},
    {kSyncState, "File3"},
}};

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

// A slot's path, slot 1 first.
const std::string& pathOf(const AppSettings& settings, std::size_t slot) {
    return slot == 0 ? settings.File1 : slot == 1 ? settings.File2 : settings.File3;
}

// Values in the same order as kKeys, as the user means them (UTF-8).
std::array<std::string, 11> valuesOf(const AppSettings& settings) {
    return {settings.File1,
            settings.File2,
            settings.File3,
            std::to_string(storedTick(settings.File1_Selected)),
            std::to_string(storedTick(settings.File2_Selected)),
            std::to_string(storedTick(settings.File3_Selected)),
            settings.SyncInterval,
            settings.AutoSync,
            settings.LastSyncEvent,
            wholeTwipsText(settings.FormTop),
            wholeTwipsText(settings.FormLeft)};
}

// A file's text as the INI reader sees it, and what it takes to write it back alike.
struct ParsedFile {
    TextEncoding encoding;
    std::string oddByte;
    IniDocument document;
};

ParsedFile parseFile(const platform::SettingsStore& store, std::string_view bytes) {
    const DecodedText decoded = decodeSettingsBytes(bytes);
    return {decoded.encoding, decoded.oddByte,
            IniDocument::parse(decoded.text, store.nativeLineEnd())};
}

class StoredValues {
  public:
    StoredValues(const platform::SettingsStore& store, std::string_view bytes)
        : store_(store), file_(parseFile(store, bytes)) {}

    std::string text(std::size_t row) const { return text(kKeys[row]); }
    std::string text(const Key& key) const {
        const auto stored = file_.document.value(key.section, key.name);
        if (!stored) {
            return std::string();
        }
        return file_.encoding == TextEncoding::SystemBytes ? store_.fromProfileBytes(*stored)
                                                           : *stored;
    }
    sync::Tick checkBox(std::size_t row) const {
        return tickFromStored(checkBoxStateFrom(text(row)));
    }
    double position(std::size_t row) const { return leadingNumber(text(row)); }

  private:
    const platform::SettingsStore& store_;
    ParsedFile file_;
};

// Whether the system's 8-bit text holds every value as the user typed it. A character the
// ANSI code page lacks would be written as "?", and a path with one would name nothing.
bool systemBytesHold(const platform::SettingsStore& store,
                     const std::array<std::string, 11>& values) {
    return std::all_of(values.begin(), values.end(), [&store](const std::string& utf8) {
        return store.fromProfileBytes(store.toProfileBytes(utf8)) == utf8;
    });
}

// The file as UTF-16LE, which the system's profile functions read as well as Kelvane: the
// lines Kelvane does not know come over from the 8-bit text, so they read as before.
ParsedFile asUtf16(const platform::SettingsStore& store, std::string_view systemBytes) {
    return {TextEncoding::Utf16LE,
            {},
            IniDocument::parse(store.fromProfileBytes(systemBytes), store.nativeLineEnd())};
}

// A value in the file's own encoding, before it is quoted for storing.
std::string inFileEncoding(const platform::SettingsStore& store, TextEncoding encoding,
                           const std::string& utf8) {
    switch (encoding) {
        case TextEncoding::SystemBytes:
            return store.toProfileBytes(utf8);
        case TextEncoding::Utf16LE:
            return validUtf8(utf8);
        case TextEncoding::Utf8:
            break;
    }
    return utf8;
}

// Why a file that is there is not used, as the user reads it after the file's name.
constexpr std::string_view kReadOnly = "The file is read-only, so Kelvane leaves it as it is.";
constexpr std::string_view kNotOrdinary =
    "It is not an ordinary file, so Kelvane neither reads nor replaces it.";
constexpr std::string_view kTooLarge =
    "It is larger than 1 MiB, too large for a settings file, so Kelvane neither reads nor "
    "replaces it.";
constexpr std::string_view kWouldBeTooLarge =
    "With the settings saved it would be larger than 1 MiB, too large for a settings file, so "
    "Kelvane leaves it as it is.";

platform::Error refusal(std::string_view why) {
    return platform::Error{std::string(why)};
}

// The bytes a save builds on: none for a new file, the old file's for an existing one.
platform::Result<std::string> existingBytes(platform::SettingsStore& store,
                                            const std::string& iniFilePath,
                                            const platform::SettingsFileLook& look) {
    using Kind = platform::SettingsFileLook::Kind;
    if (look.kind == Kind::Missing) {
        return std::string();
    }
    if (look.kind == Kind::Other) {
        return refusal(kNotOrdinary);
    }
    if (look.size > kSettingsFileLimit) {
        return refusal(kTooLarge);
    }
    if (!look.writable) {
        return refusal(kReadOnly);
    }
    return store.readFile(iniFilePath, kSettingsFileLimit);
}

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

std::string folderOf(const std::string& path, char separator) {
    const std::size_t split = separatorPosition(path, separator);
    return split == std::string::npos ? std::string() : path.substr(0, split);
}

bool liesDirectlyIn(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() <= folder.size() + 1 ||
        path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    const std::string_view rest = std::string_view(path).substr(folder.size());
    return (rest[0] == '/' || rest[0] == '\\') &&
           rest.find_first_of("/\\", 1) == std::string_view::npos;
}

// Only the user's own settings folder may be created: another missing folder is more
// likely a drive that is gone than a place that wants a new folder.
platform::Status makeUserSettingsFolder(platform::SettingsStore& store,
                                        const std::string& iniFilePath) {
    const std::string userFolder = store.userSettingsFolder();
    if (!liesDirectlyIn(iniFilePath, userFolder)) {
        return {};
    }
    return store.createFolders(userFolder);
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

namespace {

bool portableCopyKeepsThemBeside(platform::SettingsStore& store, const std::string& beside,
                                 const std::string& folder) {
    const auto look = store.lookAtSettingsFile(beside);
    return !look || look.value().kind != platform::SettingsFileLook::Kind::Missing ||
           store.canCreateFilesIn(folder.empty() ? "." : folder);
}

}  // namespace

std::string settingsFilePathFor(platform::SettingsStore& store, const std::string& executablePath,
                                char separator, Installation installation) {
    const std::string beside = iniFilePathFor(executablePath, separator);
    const std::string folder = folderOf(beside, separator);
    if (installation == Installation::Portable &&
        portableCopyKeepsThemBeside(store, beside, folder)) {
        return beside;
    }
    const std::string userFolder = store.userSettingsFolder();
    if (userFolder.empty()) {
        return beside;
    }
    return userFolder + separator + beside.substr(folder.empty() ? 0 : folder.size() + 1);
}

SettingsFileCheck checkSettingsFile(platform::SettingsStore& store,
                                    const std::string& iniFilePath) {
    const auto look = store.lookAtSettingsFile(iniFilePath);
    if (!look || look.value().kind == platform::SettingsFileLook::Kind::Missing) {
        return {};
    }
    if (look.value().kind == platform::SettingsFileLook::Kind::Other) {
        return {false, refusal(kNotOrdinary)};
    }
    if (look.value().size > kSettingsFileLimit) {
        return {false, refusal(kTooLarge)};
    }
    return {true, {}};
}

bool settingsFileExists(platform::SettingsStore& store, const std::string& iniFilePath) {
    return checkSettingsFile(store, iniFilePath).loadable;
}

AppSettings settingsFromFileBytes(const platform::SettingsStore& store, std::string_view bytes) {
    const StoredValues stored(store, bytes);
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
    settings.KeepReplaced = stored.text(kKeepReplaced) != "OFF";
    for (std::size_t slot = 0; slot < 3; ++slot) {
        settings.SyncState[slot] =
            syncStateFrom(stored.text(kSyncStateKeys[slot]), pathOf(settings, slot));
    }
    return settings;
}

AppSettings loadSettings(platform::SettingsStore& store, const std::string& iniFilePath) {
    const auto bytes = store.readFile(iniFilePath, kSettingsFileLimit);
    return settingsFromFileBytes(store, bytes ? std::string_view(bytes.value()) : "");
}

namespace {

// One key for each slot with an in-step state; the key of a slot that has none any more is
// emptied, and a file that never had one gets none.
void writeSyncState(IniDocument& document, const AppSettings& settings) {
    for (std::size_t slot = 0; slot < 3; ++slot) {
        const Key& key = kSyncStateKeys[slot];
        const auto& state = settings.SyncState[slot];
        if (state) {
            document.setValue(key.section, key.name, syncStateText(*state, pathOf(settings, slot)));
        } else if (document.value(key.section, key.name)) {
            document.setValue(key.section, key.name, "");
        }
    }
}

}  // namespace

std::string fileBytesWithSettings(const platform::SettingsStore& store,
                                  std::string_view existingBytes, const AppSettings& settings) {
    ParsedFile file = parseFile(store, existingBytes);
    const auto values = valuesOf(settings);
    // Once UTF-16, a file stays so: its encoding is read from its mark at every save.
    if (file.encoding == TextEncoding::SystemBytes && !systemBytesHold(store, values)) {
        file = asUtf16(store, existingBytes);
    }
    for (std::size_t row = 0; row < kKeys.size(); ++row) {
        file.document.setValue(kKeys[row].section, kKeys[row].name,
                               storedFormOf(inFileEncoding(store, file.encoding, values[row])));
    }
    writeSyncState(file.document, settings);
    return encodeSettingsText(file.encoding, file.document.text(), file.oddByte);
}

platform::Status saveSettings(platform::SettingsStore& store, const std::string& iniFilePath,
                              const AppSettings& settings) {
    const auto look = store.lookAtSettingsFile(iniFilePath);
    if (!look) {
        return platform::Error{look.reason()};
    }
    const auto existing = existingBytes(store, iniFilePath, look.value());
    if (!existing) {
        return platform::Error{existing.reason()};
    }
    if (look.value().kind == platform::SettingsFileLook::Kind::Missing) {
        if (auto made = makeUserSettingsFolder(store, iniFilePath); !made) {
            return made;
        }
    }
    const std::string bytes = fileBytesWithSettings(store, existing.value(), settings);
    if (bytes.size() > kSettingsFileLimit) {
        return refusal(kWouldBeTooLarge);  // the next start could not read it back
    }
    return store.writeFileAtomically(iniFilePath, bytes);
}

}  // namespace kelvane::settings
