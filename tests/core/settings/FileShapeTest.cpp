// Settings files in shapes other than the one a save makes: too large, in UTF-16 as
// Windows' profile functions write it, with a UTF-8 mark; and how often each trouble with
// the file is told.
#include <string>

#include "SettingsFixture.h"
#include "settings/SettingsEncoding.h"

namespace kelvane::testing {
namespace {

using settings::AppSettings;
using settings::kSettingsFileLimit;

std::string utf16(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

const std::string kUtf16Mark = "\xFF\xFE";

using FileShapeTest = SettingsFileFixture;

TEST_F(FileShapeTest, FileAboveTheLimitIsNeitherReadNorReplaced) {
    const std::string huge =
        "[SyncSettings]\nAutoSync=ON\n" + std::string(kSettingsFileLimit, '\n');
    writeFile(ini, huge);

    const auto check = settings::checkSettingsFile(*settingsStore, ini);
    EXPECT_FALSE(check.loadable);
    EXPECT_NE(check.trouble.reason().find("larger than 1 MiB"), std::string::npos);
    EXPECT_EQ(load(), emptySettings());

    const auto saved = settings::saveSettings(*settingsStore, ini, AppSettings{});
    EXPECT_FALSE(saved.ok());
    EXPECT_EQ(saved.reason(), check.trouble.reason());
    EXPECT_EQ(readFile(ini), huge);
}

TEST_F(FileShapeTest, FileOfExactlyTheLimitLoadsButASaveMayNotPassIt) {
    std::string full = "[SyncSettings]\nAutoSync=ON\n;";
    full += std::string(kSettingsFileLimit - full.size(), 'x');
    writeFile(ini, full);

    EXPECT_TRUE(settings::settingsFileExists(*settingsStore, ini));
    EXPECT_EQ(load().AutoSync, "ON");
    const auto saved = settings::saveSettings(*settingsStore, ini, AppSettings{});
    EXPECT_FALSE(saved.ok());
    EXPECT_NE(saved.reason().find("larger than 1 MiB"), std::string::npos) << saved.reason();
    EXPECT_EQ(readFile(ini), full);
}

// As Windows' WritePrivateProfileString leaves a file that began with the UTF-16LE mark.
TEST_F(FileShapeTest, Utf16FileIsReadAndWrittenInUtf16) {
    writeFile(ini, kUtf16Mark + utf16("; mine\r\n[SyncSettings]\r\nAutoSync=ON\r\n") +
                       utf16("SyncInterval=15\r\n[Other]\r\nKeep=1\r\n"));

    EXPECT_EQ(load().AutoSync, "ON");
    EXPECT_EQ(load().SyncInterval, "15");

    AppSettings mine;
    mine.File1 = "C:\\Caf\xC3\xA9\\\xE6\x97\xA5\xE6\x9C\xAC\\notes.txt";  // Café, 日本
    mine.File2 = "\xF0\x9F\x93\x81 notes.txt";                            // outside the BMP
    save(mine);

    const std::string bytes = readFile(ini);
    ASSERT_EQ(bytes.rfind(kUtf16Mark + utf16("; mine\r\n[SyncSettings]\r\nAutoSync=OFF\r\n"), 0),
              0u);
    EXPECT_NE(bytes.find(utf16("[Other]\r\nKeep=1\r\n")), std::string::npos);
    EXPECT_NE(bytes.find(utf16("File1=C:\\Caf") + std::string("\xE9\0\\\0\xE5\x65\x2C\x67", 8)),
              std::string::npos);
    EXPECT_EQ(bytes.find("File1=C:"), std::string::npos) << "no 8-bit text in a UTF-16 file";
    EXPECT_EQ(load(), mine);
}

TEST_F(FileShapeTest, Utf16FileKeepsEveryByteOfLinesItDoesNotKnow) {
    // An unpaired surrogate and a last odd byte: not text, but the user's bytes.
    const std::string odd = kUtf16Mark + utf16(";") + std::string("\x00\xD8", 2) +
                            utf16("\r\n[SyncSettings]\r\nAutoSync=ON\r\n") + "\x41";
    writeFile(ini, odd);

    AppSettings changed = load();
    changed.AutoSync = "OFF";
    save(changed);
    const std::string bytes = readFile(ini);
    EXPECT_EQ(bytes.substr(0, 6), odd.substr(0, 6));
    EXPECT_EQ(bytes.back(), 'A');
}

TEST_F(FileShapeTest, Utf8MarkIsKeptAndItsTextIsUtf8) {
    writeFile(ini, "\xEF\xBB\xBF[FilePathAndFileNames]\nFile1=/home/me/Caf\xC3\xA9/a.txt\n");

    EXPECT_EQ(load().File1, "/home/me/Caf\xC3\xA9/a.txt");
    AppSettings mine;
    mine.File1 = "/home/me/\xE6\x97\xA5/a.txt";
    save(mine);

    EXPECT_EQ(readFile(ini).rfind(
                  "\xEF\xBB\xBF[FilePathAndFileNames]\nFile1=/home/me/\xE6\x97\xA5/a.txt\n", 0),
              0u);
    EXPECT_EQ(load(), mine);
}

TEST(SettingsEncodingTest, DecodingAndEncodingGiveTheSameBytes) {
    for (const std::string& bytes :
         {std::string("plain"),
          std::string("\xEF\xBB\xBF"
                      "a"),
          kUtf16Mark, kUtf16Mark + std::string("\x3D\xD8\x01\xDC\x00\xDC\x00\xD8", 8),
          kUtf16Mark + std::string("a\0b", 3)}) {
        const auto decoded = settings::decodeSettingsBytes(bytes);
        EXPECT_EQ(settings::encodeSettingsText(decoded.encoding, decoded.text, decoded.oddByte),
                  bytes);
    }
    EXPECT_EQ(settings::validUtf8("a\xFF"
                                  "b\xC3"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(TroubleMemoryTest, EachTroubleIsToldOnceUntilASaveWorks) {
    settings::TroubleMemory memory;
    const platform::Status readOnly = platform::Error{"read-only"};
    const platform::Status full = platform::Error{"disk full"};

    EXPECT_TRUE(memory.isNews(readOnly));
    EXPECT_FALSE(memory.isNews(readOnly));
    EXPECT_FALSE(memory.isNews(readOnly));
    EXPECT_TRUE(memory.isNews(full));
    EXPECT_FALSE(memory.isNews(platform::Status{}));
    EXPECT_TRUE(memory.isNews(readOnly));
}

}  // namespace
}  // namespace kelvane::testing
