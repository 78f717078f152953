#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "platform/SettingsStore.h"
#include "settings/LeadingNumber.h"
#include "settings/SettingsFile.h"
#include "support/TempFolder.h"

namespace kelvane::settings {

// Readable failure messages for whole records.
inline void PrintTo(const AppSettings& s, std::ostream* out) {
    *out << "{File1=" << ::testing::PrintToString(s.File1)
         << " File2=" << ::testing::PrintToString(s.File2)
         << " File3=" << ::testing::PrintToString(s.File3)
         << " Selected=" << storedTick(s.File1_Selected) << storedTick(s.File2_Selected)
         << storedTick(s.File3_Selected)
         << " SyncInterval=" << ::testing::PrintToString(s.SyncInterval)
         << " AutoSync=" << ::testing::PrintToString(s.AutoSync)
         << " LastSyncEvent=" << ::testing::PrintToString(s.LastSyncEvent)
         << " FormTop=" << s.FormTop << " FormLeft=" << s.FormLeft << "}";
}

}  // namespace kelvane::settings

namespace kelvane::testing {

// A folder with room for a settings file, and the real file system to reach it.
class SettingsFileFixture : public ::testing::Test {
  protected:
    settings::AppSettings loadFrom(const std::string& fileText) {
        writeFile(ini, fileText);
        return settings::loadSettings(*settingsStore, ini);
    }
    settings::AppSettings load() { return settings::loadSettings(*settingsStore, ini); }
    void save(const settings::AppSettings& values) {
        const auto saved = settings::saveSettings(*settingsStore, ini, values);
        ASSERT_TRUE(saved.ok()) << saved.reason();
    }

    TempFolder folder;
    std::unique_ptr<platform::SettingsStore> settingsStore = platform::makeSystemSettingsStore();
    std::string ini = folder.file("Kelvane.ini");
};

// What a file holds when every key is missing: empty texts and zeros, not the first-run
// defaults.
inline settings::AppSettings emptySettings() {
    settings::AppSettings empty;
    empty.File1 = empty.File2 = empty.File3 = "";
    empty.File1_Selected = empty.File2_Selected = empty.File3_Selected = sync::Tick::Off;
    empty.SyncInterval = empty.AutoSync = empty.LastSyncEvent = "";
    empty.FormTop = empty.FormLeft = 0;
    return empty;
}

}  // namespace kelvane::testing
