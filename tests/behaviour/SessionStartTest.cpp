// The tray menu's entry that starts Kelvane with the user's session.
#include "ProgramFixture.h"
#include "support/FakeSessionStart.h"

namespace kelvane::testing {
namespace {

using behaviour::BoxKind;

#ifdef _WIN32
constexpr const char* kCaption = "Start Kelvane with Windows";
#else
constexpr const char* kCaption = "Start Kelvane when I log in";
#endif

class SessionStartEntry : public ProgramFixture {
  protected:
    FakeSessionStart system;

    ~SessionStartEntry() override { program.reset(); }

    void startWithEntry() {
        program = std::make_unique<behaviour::Program>(face, fileSystem, *settingsStore, ini());
        program->setSessionStart(system);
        program->start();
    }
};

TEST_F(SessionStartEntry, ShowsTheSystemsStateFromTheStartAndAtEveryOpeningOfTheMenu) {
    startWithEntry();
    ASSERT_EQ(face.sessionEntryCaption, kCaption);
    EXPECT_FALSE(face.sessionEntryTicked);

    system.enabled = true;  // switched on elsewhere, in the desktop's own settings
    program->trayMenuOpening();
    EXPECT_TRUE(face.sessionEntryTicked);

    system.enabled = false;
    program->trayMenuOpening();
    EXPECT_FALSE(face.sessionEntryTicked);
    EXPECT_TRUE(face.boxes.empty());
}

TEST_F(SessionStartEntry, ChoosingItSwitchesAtOnceAndWritesNoSettings) {
    startWithEntry();

    program->sessionStartChosen();
    EXPECT_TRUE(system.enabled);
    EXPECT_TRUE(face.sessionEntryTicked);

    program->sessionStartChosen();
    EXPECT_FALSE(system.enabled);
    EXPECT_FALSE(face.sessionEntryTicked);

    EXPECT_TRUE(face.boxes.empty());
    EXPECT_FALSE(std::filesystem::exists(ini())) << "the system keeps this, not the settings";
}

TEST_F(SessionStartEntry, AFailureIsToldWithItsReasonAndTheTickShowsTheRealState) {
    startWithEntry();
    system.changeFailure = "Permission denied: /home/ann/.config/autostart";

    program->sessionStartChosen();
    ASSERT_EQ(face.boxes.size(), 1U);
    EXPECT_EQ(face.boxes[0].kind, BoxKind::Warning);
    EXPECT_EQ(face.boxes[0].text, std::string("Kelvane could not switch on \"") + kCaption +
                                      "\".\n\nPermission denied: /home/ann/.config/autostart");
    EXPECT_FALSE(face.sessionEntryTicked);

    system.enabled = true;
    program->trayMenuOpening();
    program->sessionStartChosen();
    ASSERT_EQ(face.boxes.size(), 2U);
    EXPECT_EQ(face.boxes[1].text.rfind(std::string("Kelvane could not switch off \""), 0), 0U);
    EXPECT_TRUE(face.sessionEntryTicked) << "still on, so still ticked";
}

TEST_F(SessionStartEntry, AChangeTheSystemDidNotTakeIsToldNotClaimed) {
    startWithEntry();
    system.ignoresChanges = true;

    program->sessionStartChosen();
    ASSERT_EQ(face.boxes.size(), 1U);
    EXPECT_NE(face.boxes[0].text.find("The system still reports it off."), std::string::npos)
        << face.boxes[0].text;
    EXPECT_FALSE(face.sessionEntryTicked);
}

TEST_F(SessionStartEntry, AStateThatCannotBeReadShowsUntickedAndChoosingSwitchesOn) {
    system.readFailure = "Input/output error";
    startWithEntry();
    EXPECT_FALSE(face.sessionEntryTicked);
    EXPECT_TRUE(face.boxes.empty()) << "opening the menu tells nothing";

    system.readFailure.reset();
    program->sessionStartChosen();
    EXPECT_TRUE(system.enabled);
}

TEST_F(SessionStartEntry, WithoutASwitchTheMenuHasNoEntryAndAfterTheEndNothingChanges) {
    start();
    program->trayMenuOpening();
    program->sessionStartChosen();
    EXPECT_FALSE(face.sessionEntryCaption.has_value());

    program.reset();
    face = FakeFace();
    startWithEntry();
    program->exitChosen();
    program->sessionStartChosen();
    EXPECT_EQ(system.changes, 0);
}

}  // namespace
}  // namespace kelvane::testing
