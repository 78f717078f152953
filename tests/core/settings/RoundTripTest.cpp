// Whatever the user types, apart from line breaks, comes back unchanged after a save.
#include <random>
#include <string>
#include <vector>

#include "SettingsFixture.h"

namespace kelvane::testing {
namespace {

using settings::AppSettings;

// Pieces that the reader treats specially, plain letters, and letters beyond ASCII that
// every Western code page holds, so the test means the same on Windows.
const std::vector<std::string> kPieces = {
    " ", "\t", "\"", "'", "=", ";", "[", "]", "\\", "a", "Z", "0", "#", "é", "ü", "ß", "Ø", "ñ",
};

class RandomSettings {
  public:
    explicit RandomSettings(unsigned seed) : engine_(seed) {}

    std::string text() {
        std::uniform_int_distribution<std::size_t> length(0, 24);
        std::uniform_int_distribution<std::size_t> piece(0, kPieces.size() - 1);
        std::string result;
        for (std::size_t n = length(engine_); n > 0; --n) {
            result += kPieces[piece(engine_)];
        }
        return result;
    }

    AppSettings settings() {
        std::uniform_int_distribution<int> state(0, 2);
        std::uniform_int_distribution<int> twips(-30000, 30000);
        AppSettings values;
        values.File1 = text();
        values.File2 = text();
        values.File3 = text();
        values.File1_Selected = settings::tickFromStored(state(engine_));
        values.File2_Selected = settings::tickFromStored(state(engine_));
        values.File3_Selected = settings::tickFromStored(state(engine_));
        values.SyncInterval = text();
        values.AutoSync = text();
        values.LastSyncEvent = text();
        values.FormTop = twips(engine_);
        values.FormLeft = twips(engine_);
        return values;
    }

  private:
    std::mt19937 engine_;
};

using RoundTripTest = SettingsFileFixture;

TEST_F(RoundTripTest, EveryValueWithoutLineBreaksReadsBackUnchanged) {
    RandomSettings random(20240501);
    for (int round = 0; round < 300; ++round) {
        const AppSettings values = random.settings();
        save(values);
        ASSERT_EQ(load(), values) << "round " << round << ", file:\n" << readFile(ini);
    }
}

TEST_F(RoundTripTest, SavingOverAHandEditedFileKeepsItsOtherKeys) {
    const std::string handEdited = "; mine\n[SyncSettings]\nTheme = dark\n[Mine]\nkey=\"v\"\n";
    writeFile(ini, handEdited);
    RandomSettings random(7);
    for (int round = 0; round < 50; ++round) {
        save(random.settings());
    }
    const std::string text = readFile(ini);
    EXPECT_EQ(text.rfind("; mine\n[SyncSettings]\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nTheme = dark\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n[Mine]\nkey=\"v\"\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace kelvane::testing
