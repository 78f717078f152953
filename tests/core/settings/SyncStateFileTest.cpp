// The two settings beyond the classic eleven keys: KeepReplaced, which only the user
// writes, and [SyncState], each slot's in-step state, which only saves write.
#include <string>

#include "SettingsFixture.h"
#include "settings/IniDocument.h"

namespace kelvane::testing {
namespace {

using settings::AppSettings;

constexpr const char* kClassicFile =
    "[FilePathAndFileNames]\nFile1=/a/notes.txt\nFile2=/b/notes.txt\nFile3=\n"
    "[SelectedFiles]\nFile1_Selected=1\nFile2_Selected=1\nFile3_Selected=0\n"
    "[SyncSettings]\nSyncInterval=10\nAutoSync=OFF\n";

using SyncStateFile = SettingsFileFixture;

TEST_F(SyncStateFile, KeepReplacedIsOffOnlyForOffAndIsNeverWritten) {
    EXPECT_TRUE(loadFrom(kClassicFile).KeepReplaced);
    EXPECT_TRUE(loadFrom("[SyncSettings]\nKeepReplaced=off\n").KeepReplaced);
    EXPECT_TRUE(loadFrom("[SyncSettings]\nKeepReplaced=NO\n").KeepReplaced);
    EXPECT_FALSE(loadFrom("[syncsettings]\nkeepreplaced = OFF\n").KeepReplaced);

    AppSettings values = load();
    values.KeepReplaced = true;
    save(values);
    EXPECT_NE(readFile(ini).find("keepreplaced = OFF\n"), std::string::npos) << readFile(ini);

    const std::string fresh = folder.file("fresh.ini");
    ASSERT_TRUE(settings::saveSettings(*settingsStore, fresh, AppSettings{}).ok());
    EXPECT_EQ(readFile(fresh).find("KeepReplaced"), std::string::npos);
}

TEST_F(SyncStateFile, InStepStatesFollowTheFiveSectionsAndHoldOnlyForTheirPaths) {
    AppSettings values = loadFrom(kClassicFile);
    values.SyncState[0] = sync::InStepState{{1'700'000'000, 123'456'789}, 4096};
    values.SyncState[1] = sync::InStepState{{-5, 0}, 0};
    save(values);

    const std::string text = readFile(ini);
    const auto section = text.find("\n[SyncState]\nFile1=1700000000.123456789 4096 ");
    ASSERT_NE(section, std::string::npos) << text;
    EXPECT_GT(section, text.find("[FormLocation]"));
    EXPECT_NE(text.find("\nFile2=-5.000000000 0 "), std::string::npos) << text;
    EXPECT_EQ(text.find("File3=", section), std::string::npos) << "no key for no state";
    EXPECT_EQ(load(), values);

    values.SyncState[1].reset();
    save(values);
    EXPECT_NE(readFile(ini).find("\nFile2=\n"), std::string::npos) << readFile(ini);
    EXPECT_EQ(load(), values);

    std::string edited = readFile(ini);
    edited.replace(edited.find("File1=/a/notes.txt"), 18, "File1=/c/notes.txt");
    EXPECT_FALSE(loadFrom(edited).SyncState[0]) << "a path edited by hand forgets its state";
    for (const char* odd : {"1700000000.12345678 4096 0", "x", "1.000000000 -1 0", ""}) {
        EXPECT_FALSE(
            loadFrom(std::string(kClassicFile) + "[SyncState]\nFile1=" + odd + "\n").SyncState[0])
            << odd;
    }
}

// What an older Kelvane does with the section: it writes its eleven keys and keeps the
// lines it does not know.
TEST_F(SyncStateFile, OlderWritersKeepTheSectionAsItIs) {
    const std::string tail = "[SyncState]\nFile1=1700000000.000000000 4 0123456789abcdef\n";
    auto document = settings::IniDocument::parse(std::string(kClassicFile) + tail, "\n");
    document.setValue("FilePathAndFileNames", "File1", "/elsewhere/notes.txt");
    document.setValue("FormLocation", "FormTop", "0");

    EXPECT_NE(document.text().find(tail), std::string::npos) << document.text();
}

}  // namespace
}  // namespace kelvane::testing
