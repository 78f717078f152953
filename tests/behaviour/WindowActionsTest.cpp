// The "---" buttons, Help, Hide to tray, and the tray icon and its menu.
#include "ProgramFixture.h"

namespace kelvane::testing {
namespace {

using behaviour::WindowState;

using WindowActions = ProgramFixture;

TEST_F(WindowActions, BrowseFillsOnlyItsBoxAndCancelKeepsIt) {
    start();
    const std::string designFile1 = face.paths[0];
    face.setTickState(2, behaviour::Tick::Off);
    face.fileAnswers = {file(2), std::nullopt};

    program->browseClicked(2);
    EXPECT_EQ(face.paths[1], file(2));
    EXPECT_EQ(face.ticks[1], behaviour::Tick::Off);
    EXPECT_EQ(face.paths[0], designFile1);

    program->browseClicked(2);
    EXPECT_EQ(face.paths[1], file(2));
    EXPECT_EQ(face.fileDialogFolders.back(), std::filesystem::path(file(2)).parent_path().string());
}

TEST_F(WindowActions, TheNextBrowseOpensInTheLastChosenFolderWhateverItsLetters) {
    start();
    const std::pair<std::string, std::string> chosenAndFolder[] = {
        {"C:\\\xc5\x81\xc3\xb3"
         "d\xc5\xba\\notes.txt",
         "C:\\\xc5\x81\xc3\xb3"
         "d\xc5\xba"},
        {"/home/ann/\xc5\x81\xc3\xb3"
         "d\xc5\xba/notes.txt",
         "/home/ann/\xc5\x81\xc3\xb3"
         "d\xc5\xba"},
        {"C:\\notes.txt", "C:\\"},
        {"/notes.txt", "/"},
    };
    for (const auto& [chosen, folder] : chosenAndFolder) {
        face.fileAnswers = {chosen, std::nullopt};
        program->browseClicked(1);
        program->browseClicked(1);
        EXPECT_EQ(face.fileDialogFolders.back(), folder) << chosen;
    }
}

TEST_F(WindowActions, BrowseStillFillsALockedBox) {
    start();
    program->autoSyncClicked();
    face.fileAnswers = {file(3)};

    program->browseClicked(3);

    EXPECT_TRUE(face.slotsLocked);
    EXPECT_EQ(face.paths[2], file(3));
}

TEST_F(WindowActions, HelpOpensWithoutOwnerAndOnlyOnce) {
    writeFile(ini(), "[SyncSettings]\r\nAutoSync=OFF\r\n");
    start();

    program->helpClicked();
    program->showHelpChosen();

    EXPECT_EQ(face.helpOpenings, 1);
    EXPECT_FALSE(face.helpOwnedByWindow);
}

TEST_F(WindowActions, HideToTrayWritesTheFileAndTheTrayToggleDoesNot) {
    start();
    program->trayIconClicked();
    EXPECT_EQ(face.state, WindowState::Hidden);
    EXPECT_FALSE(std::filesystem::exists(ini()));
    program->trayIconClicked();
    EXPECT_EQ(face.state, WindowState::Shown);
    face.position = {1500, 3000};

    program->hideToTrayClicked();

    EXPECT_EQ(face.state, WindowState::Hidden);
    const settings::AppSettings design;
    for (const std::string& line : {std::string("[FilePathAndFileNames]"), "File1=" + design.File1,
                                    std::string("File3_Selected=0"), std::string("SyncInterval=10"),
                                    std::string("AutoSync=OFF"), std::string("LastSyncEvent=NIL"),
                                    std::string("FormTop=1500"), std::string("FormLeft=3000")}) {
        EXPECT_TRUE(savedHas(line)) << line;
    }
}

TEST_F(WindowActions, WithoutATrayHideToTrayMinimises) {
    face.hasTray = false;
    start();

    program->hideToTrayClicked();

    EXPECT_EQ(face.state, WindowState::Minimised);
}

TEST_F(WindowActions, TrayClickBringsAMinimisedWindowBack) {
    start();
    face.minimiseWindow();

    program->trayIconClicked();

    EXPECT_EQ(face.state, WindowState::Shown);
}

TEST_F(WindowActions, ShowSettingsFromTheMenuRestoresTheWindow) {
    start();
    face.hideWindow();

    program->showSettingsChosen();

    EXPECT_EQ(face.state, WindowState::Shown);
}

}  // namespace
}  // namespace kelvane::testing
