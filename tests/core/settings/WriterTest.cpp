// The bytes a save leaves in the settings file.
#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "SettingsFixture.h"

namespace kelvane::testing {
namespace {

using settings::AppSettings;

std::string golden(const std::string& name) {
    return readFile(std::string(KELVANE_SETTINGS_GOLDEN_DIR) + "/" + name);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The line of the file that sets key, as written.
std::string lineOf(const std::string& fileText, const std::string& key) {
    std::istringstream lines(fileText);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind(key + "=", 0) == 0) {
            return line;
        }
    }
    return "(no line for " + key + ")";
}

int linesStartingWith(const std::string& fileText, const std::string& start) {
    std::istringstream lines(fileText);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += line.rfind(start, 0) == 0 ? 1 : 0;
    }
    return count;
}

using WriterTest = SettingsFileFixture;

TEST_F(WriterTest, FirstSaveWritesTheElevenKeysInOrderWithTheFirstRunValues) {
    AppSettings firstRun;
    firstRun.FormTop = 2340;
    firstRun.FormLeft = 4560;
    save(firstRun);
    // The golden file holds the Windows examples; elsewhere they lie in the home folder.
    std::string expected = golden("first-save.ini");
    expected = replaceAll(expected, "C:\\SomePath\\ExampleFolder\\file1.txt",
                          settings::firstRunExample(1));
    expected = replaceAll(expected, "C:\\CloudPath\\ExampleFolder\\file1.txt",
                          settings::firstRunExample(2));
    EXPECT_EQ(readFile(ini),
              replaceAll(expected, "\n", std::string(settingsStore->nativeLineEnd())));
}

TEST_F(WriterTest, FileWrittenOnWindowsLoadsAndKeepsItsLineEnds) {
    writeFile(ini, golden("written-on-windows.ini"));
    AppSettings values = load();
    EXPECT_EQ(values.File2, "E:\\OneDrive\\Data\\notes.txt");
    EXPECT_EQ(values.AutoSync, "ON");
    EXPECT_EQ(values.LastSyncEvent, "File2 updated 03/04/2024 at 10:15:42");
    EXPECT_EQ(values.FormTop, 2340);

    values.File3 = "F:\\USB\\Data\\notes.txt";
    values.File3_Selected = sync::Tick::On;
    values.AutoSync = "OFF";
    values.LastSyncEvent = "File1 and File3 updated 05/04/2024 at 08:00:01";
    values.FormTop = 1500;
    values.FormLeft = -150;
    save(values);
    EXPECT_EQ(readFile(ini), golden("written-on-windows.after-save.ini"));
}

TEST_F(WriterTest, HandEditsUnknownKeysAndKeySpellingSurviveASave) {
    writeFile(ini, golden("hand-edited.ini"));
    AppSettings values;
    values.File1 = "C:\\Users\\me\\b.txt";
    values.File2 = "C:\\Cloud\\b.txt";
    values.File3 = "";
    values.SyncInterval = "15";
    save(values);
    EXPECT_EQ(readFile(ini), golden("hand-edited.after-save.ini"));
    EXPECT_EQ(load(), values);
}

TEST_F(WriterTest, SavingTheSameValuesAgainChangesNoByte) {
    writeFile(ini, golden("hand-edited.ini"));
    save(AppSettings{});
    const std::string once = readFile(ini);
    save(AppSettings{});
    EXPECT_EQ(readFile(ini), once);
}

TEST_F(WriterTest, ValuesTheReaderWouldAlterAreQuotedOthersAreNot) {
    AppSettings values;
    values.File1 = " leading blank";
    values.File2 = "trailing blank ";
    values.File3 = "\"quoted\"";
    values.SyncInterval = "'1'";
    values.LastSyncEvent = "inner \"quotes\" and = and ; stay";
    values.AutoSync = "\"";
    save(values);
    const std::string text = readFile(ini);
    EXPECT_EQ(lineOf(text, "File1"), "File1=\" leading blank\"");
    EXPECT_EQ(lineOf(text, "File2"), "File2=\"trailing blank \"");
    EXPECT_EQ(lineOf(text, "File3"), "File3=\"\"quoted\"\"");
    EXPECT_EQ(lineOf(text, "SyncInterval"), "SyncInterval=\"'1'\"");
    EXPECT_EQ(lineOf(text, "LastSyncEvent"), "LastSyncEvent=inner \"quotes\" and = and ; stay");
    EXPECT_EQ(lineOf(text, "AutoSync"), "AutoSync=\"");
    EXPECT_EQ(load(), values);
}

TEST_F(WriterTest, PathWithTrailingBlankSavedByKelvaneComesBackWhole) {
    AppSettings values;
    values.File1 = "C:\\Data\\a.txt ";
    save(values);
    EXPECT_EQ(load().File1, "C:\\Data\\a.txt ");
}

TEST_F(WriterTest, LongPathIsSavedAndReadBackWhole) {
    AppSettings values;
    values.File1 = "C:\\" + std::string(300, 'x') + "\\a.txt";
    save(values);
    EXPECT_EQ(load().File1, values.File1);
}

TEST_F(WriterTest, LineBreaksInAValueCannotInjectSectionsOrKeys) {
    AppSettings values;
    values.File1 = "C:\\a.txt\r\n[SyncSettings]\r\nAutoSync=ON\n[FormLocation]\rFormTop=99";
    values.FormTop = 150;
    save(values);
    const std::string text = readFile(ini);
    EXPECT_EQ(linesStartingWith(text, "[SyncSettings]"), 1);
    EXPECT_EQ(linesStartingWith(text, "AutoSync="), 1);
    EXPECT_EQ(lineOf(text, "File1"),
              "File1=C:\\a.txt [SyncSettings] AutoSync=ON [FormLocation] FormTop=99");
    const AppSettings loaded = load();
    EXPECT_EQ(loaded.AutoSync, "OFF");
    EXPECT_EQ(loaded.FormTop, 150);
    EXPECT_EQ(loaded.File1, "C:\\a.txt [SyncSettings] AutoSync=ON [FormLocation] FormTop=99");
}

TEST_F(WriterTest, PositionsAreWrittenAsWholeTwips) {
    struct Case {
        double twips;
        const char* written;
    };
    const std::vector<Case> cases = {
        {-150, "-150"},
        {1234.4, "1234"},
        {1234.5, "1234"},
        {1235.5, "1236"},
        {-0.4, "0"},
        {-2.5, "-2"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
        {std::numeric_limits<double>::infinity(), "0"},
    };
    for (const Case& position : cases) {
        AppSettings values;
        values.FormLeft = position.twips;
        save(values);
        EXPECT_EQ(lineOf(readFile(ini), "FormLeft"), std::string("FormLeft=") + position.written)
            << "twips: " << position.twips;
    }
}

TEST_F(WriterTest, GreyedCheckBoxFromTheFileIsWrittenBack) {
    AppSettings values = loadFrom("[SelectedFiles]\nFile1_Selected=1.5\n");
    ASSERT_EQ(values.File1_Selected, sync::Tick::Greyed);
    save(values);
    EXPECT_EQ(lineOf(readFile(ini), "File1_Selected"), "File1_Selected=2");
}

}  // namespace
}  // namespace kelvane::testing
