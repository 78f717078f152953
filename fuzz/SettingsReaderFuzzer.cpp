// Arbitrary bytes as a settings file. Loading must not crash, hang or leak; a file parsed
// and written out unchanged keeps every byte; and a value saved into any such file reads
// back as saved (its line breaks turned into blanks). The part of the input after the
// first NUL byte, if any, is the value; otherwise the whole input is both file and value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/SettingsStore.h"
#include "settings/IniDocument.h"
#include "settings/SettingsEncoding.h"
#include "settings/SettingsFile.h"

namespace {

using kelvane::settings::AppSettings;

std::string withLineBreaksAsBlanks(std::string_view value) {
    std::string expected;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const bool isBreak = value[i] == '\r' || value[i] == '\n';
        expected += isBreak ? ' ' : value[i];
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
            ++i;
        }
    }
    return expected;
}

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

AppSettings settingsHolding(const std::string& text) {
    AppSettings values;
    values.File1 = values.File2 = values.File3 = text;
    values.SyncInterval = values.AutoSync = values.LastSyncEvent = text;
    values.File2_Selected = kelvane::sync::Tick::Greyed;
    values.FormTop = -150;
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto settingsStore = kelvane::platform::makeSystemSettingsStore();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view file = input.substr(0, split);
    const std::string_view value =
        split == std::string_view::npos ? input : input.substr(split + 1);

    kelvane::settings::settingsFromFileBytes(*settingsStore, file);
    require(kelvane::settings::IniDocument::parse(file, "\n").text() == file);
    const auto decoded = kelvane::settings::decodeSettingsBytes(file);
    require(kelvane::settings::encodeSettingsText(decoded.encoding, decoded.text,
                                                  decoded.oddByte) == file);

    // UTF-16 holds only text: bytes that are not UTF-8 come back as U+FFFD.
    const std::string kept = decoded.encoding == kelvane::settings::TextEncoding::Utf16LE
                                 ? kelvane::settings::validUtf8(value)
                                 : std::string(value);
    const AppSettings saved = settingsHolding(std::string(value));
    const std::string written =
        kelvane::settings::fileBytesWithSettings(*settingsStore, file, saved);
    AppSettings expected = settingsHolding(withLineBreaksAsBlanks(kept));
    require(kelvane::settings::settingsFromFileBytes(*settingsStore, written) == expected);
    require(kelvane::settings::fileBytesWithSettings(*settingsStore, written, saved) == written);
    return 0;
}
