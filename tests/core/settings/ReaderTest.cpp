// Files as users and the Windows profile functions write them, and the values Kelvane
// loads from them.
#include <ostream>
#include <string>
#include <vector>

#include "SettingsFixture.h"

namespace kelvane::testing {
namespace {

using settings::AppSettings;

const std::string kFiles = "[FilePathAndFileNames]\n";

struct TextCase {
    const char* rule;
    std::string file;
    std::string expectedFile1;
};

// Short descriptions for test listings and failure messages.
void PrintTo(const TextCase& textCase, std::ostream* out) {
    *out << textCase.rule;
}

const std::vector<TextCase> kTextCases = {
    {"plain value", kFiles + "File1=C:\\Data\\a.txt\n", "C:\\Data\\a.txt"},
    {"names ignore letter case", "[filepathandfilenames]\nFILE1=x\n", "x"},
    {"leading blanks on a line", "  [FilePathAndFileNames]\n\t File1=x\n", "x"},
    {"blanks around key and value", kFiles + "File1 \t=  x  y \t\n", "x  y"},
    {"comment line", kFiles + "; File1=no\nFile1=yes\n", "yes"},
    {"comment after blanks", kFiles + "  ;File1=no\nFile1=yes\n", "yes"},
    {"text after the header's ] ignored", "[FilePathAndFileNames] old ]\nFile1=x\n", "x"},
    {"header name trimmed", "[ FilePathAndFileNames\t]\nFile1=x\n", "x"},
    {"split at the first =", kFiles + "File1=a=b\n", "a=b"},
    {"double quotes removed", kFiles + "File1=\"  x  \"\n", "  x  "},
    {"single quotes removed", kFiles + "File1= 'x' \n", "x"},
    {"only one pair of quotes removed", kFiles + "File1=\"\"x\"\"\n", "\"x\""},
    {"unmatched quotes kept", kFiles + "File1=\"x'\n", "\"x'"},
    {"a lone quote kept", kFiles + "File1=\"\n", "\""},
    {"first matching key wins", kFiles + "File1=first\nfile1=second\n", "first"},
    {"first matching section wins", kFiles + "File2=a\n" + kFiles + "File1=second\n", ""},
    {"lines before the first section belong to none", "File1=orphan\n" + kFiles, ""},
    {"key of another section not found", "[Other]\nFile1=x\n" + kFiles, ""},
    {"line without = is no key", kFiles + "File1\nFile1=x\n", "x"},
    {"unfinished header is ignored", kFiles + "[Broken\nFile1=x\n", "x"},
    {"CRLF line ends", "[FilePathAndFileNames]\r\nFile1=x\r\nFile2=y\r\n", "x"},
    {"CR line ends", "[FilePathAndFileNames]\rFile1=x\rFile2=y\r", "x"},
    {"no line end at the end", kFiles + "File1=x", "x"},
    {"UTF-8 byte order mark before the header", "\xEF\xBB\xBF" + kFiles + "File1=x\n", "x"},
    {"hand-typed trailing blank dropped", kFiles + "File1=C:\\a.txt \n", "C:\\a.txt"},
    {"empty value", kFiles + "File1=\n", ""},
    {"missing key", kFiles + "File2=x\n", ""},
#ifndef _WIN32  // UTF-8 here; Windows files are ANSI, tested in tests/core/windows
    {"non-ASCII letters", kFiles + "File1=/home/zoë/Ångström.txt\n", "/home/zoë/Ångström.txt"},
#endif
    {"value of any length read whole", kFiles + "File1=" + std::string(300, 'p') + "\n",
     std::string(300, 'p')},
};

class TextReaderTest : public SettingsFileFixture,
                       public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextReaderTest, LoadsTheValueTheProfileFunctionsWouldRead) {
    EXPECT_EQ(loadFrom(GetParam().file).File1, GetParam().expectedFile1) << GetParam().rule;
}

INSTANTIATE_TEST_SUITE_P(Rules, TextReaderTest, ::testing::ValuesIn(kTextCases));

struct NumberCase {
    std::string stored;
    int expectedCheckBox;
    double expectedPosition;
};

void PrintTo(const NumberCase& numberCase, std::ostream* out) {
    *out << "stored " << ::testing::PrintToString(numberCase.stored);
}

// The same text stored as File1_Selected and as FormTop.
const std::vector<NumberCase> kNumberCases = {
    {"1", 1, 1},         {"0", 0, 0},       {"2", 2, 2},           {"1.5", 2, 1.5},
    {"0.5", 0, 0.5},     {"2.5", 2, 2.5},   {"0.6", 1, 0.6},       {"1.4999", 1, 1.4999},
    {"abc", 0, 0},       {"1abc", 1, 1},    {"3", 0, 3},           {"-1", 0, -1},
    {"70000", 0, 70000}, {"-150", 0, -150}, {"1234.5", 0, 1234.5}, {"+1", 1, 1},
    {"1e0", 1, 1},       {"1E3", 0, 1000},  {"1D2", 0, 100},       {"1d-1", 0, 0.1},
    {"1e", 1, 1},        {"2e+", 2, 2},     {"- 1 5 0", 0, -150},  {"1 . 5", 2, 1.5},
    {".5", 0, 0.5},      {"5.", 0, 5},      {"1,5", 1, 1},         {"", 0, 0},
    {"-", 0, 0},         {".", 0, 0},       {"1E400", 0, 0},       {"-0.4", 0, -0.4},
    {"\"1\"", 1, 1},
};

class NumberReaderTest : public SettingsFileFixture,
                         public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberReaderTest, CheckBoxRoundsHalfToEvenAndClearsOtherStates) {
    const auto& stored = GetParam().stored;
    EXPECT_EQ(settings::storedTick(
                  loadFrom("[SelectedFiles]\nFile1_Selected=" + stored + "\n").File1_Selected),
              GetParam().expectedCheckBox)
        << "stored: " << stored;
}

TEST_P(NumberReaderTest, PositionTakesTheLeadingNumberUnrounded) {
    const auto& stored = GetParam().stored;
    EXPECT_DOUBLE_EQ(loadFrom("[FormLocation]\nFormTop=" + stored + "\n").FormTop,
                     GetParam().expectedPosition)
        << "stored: " << stored;
}

INSTANTIATE_TEST_SUITE_P(Rules, NumberReaderTest, ::testing::ValuesIn(kNumberCases));

using ReaderTest = SettingsFileFixture;

TEST_F(ReaderTest, EmptyFileGivesEmptyTextsAndZeros) {
    EXPECT_EQ(loadFrom(""), emptySettings());
}

TEST_F(ReaderTest, MissingFileGivesEmptyTextsAndZeros) {
    EXPECT_EQ(load(), emptySettings());
}

TEST_F(ReaderTest, MissingKeysAreEmptyWhileOthersLoad) {
    AppSettings expected = emptySettings();
    expected.File2 = "C:\\Cloud\\a.txt";
    expected.File2_Selected = sync::Tick::On;
    expected.FormLeft = 300;
    EXPECT_EQ(loadFrom("[FilePathAndFileNames]\nFile2=C:\\Cloud\\a.txt\n[SelectedFiles]\n"
                       "File2_Selected=1\n[FormLocation]\nFormLeft=300\n"),
              expected);
}

TEST_F(ReaderTest, AutoSyncIsTakenExactlyAsStored) {
    EXPECT_EQ(loadFrom("[SyncSettings]\nAutoSync=On\nSyncInterval=75\n").AutoSync, "On");
    EXPECT_EQ(load().SyncInterval, "75");
}

TEST_F(ReaderTest, EveryKeyOfAFullFileLoads) {
    const AppSettings loaded = loadFrom(
        "[FilePathAndFileNames]\nFile1=a\nFile2=b\nFile3=c\n"
        "[SelectedFiles]\nFile1_Selected=0\nFile2_Selected=2\nFile3_Selected=1\n"
        "[SyncSettings]\nSyncInterval=5\nAutoSync=ON\n[SyncEvents]\nLastSyncEvent=File2 updated\n"
        "[FormLocation]\nFormTop=-150\nFormLeft=1200\n");
    AppSettings expected;
    expected.File1 = "a";
    expected.File2 = "b";
    expected.File3 = "c";
    expected.File1_Selected = sync::Tick::Off;
    expected.File2_Selected = sync::Tick::Greyed;
    expected.File3_Selected = sync::Tick::On;
    expected.SyncInterval = "5";
    expected.AutoSync = "ON";
    expected.LastSyncEvent = "File2 updated";
    expected.FormTop = -150;
    expected.FormLeft = 1200;
    EXPECT_EQ(loaded, expected);
}

}  // namespace
}  // namespace kelvane::testing
