#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeFace.h"
#include "behaviour/Program.h"
#include "support/FaultyFileSystem.h"
#include "support/TempFolder.h"

namespace kelvane::testing {

// A program on a fake face, its settings file in a fresh folder, and three folders a, b
// and c that may each hold "notes.txt".
class ProgramFixture : public ::testing::Test {
  protected:
    static constexpr std::int64_t kOld = 1'600'000'000;  // September 2020
    static constexpr std::int64_t kNew = 1'700'000'000;  // November 2023

    TempFolder folder;
    FaultyFileSystem fileSystem;
    std::unique_ptr<platform::SettingsStore> settingsStore = platform::makeSystemSettingsStore();
    FakeFace face;
    std::unique_ptr<behaviour::Program> program;

    ProgramFixture() {
        for (const char* sub : {"a", "b", "c"}) {
            folder.makeFolder(sub);
        }
    }

    std::string ini() const { return folder.file("Kelvane.ini"); }
    std::string file(int slot) const {
        return fileSystem.workingPath(
            folder.file(std::string(1, static_cast<char>('a' + slot - 1)) + "/notes.txt"));
    }
    void put(int slot, const std::string& content, std::int64_t seconds) {
        writeFileAt(file(slot), content, seconds);
    }
    std::string contentOf(int slot) const { return readFile(file(slot)); }
    bool savedHas(const std::string& line) const {
        return readFile(ini()).find(line) != std::string::npos;
    }

    void start(const std::string& oneInstanceWarning = {}) {
        program = std::make_unique<behaviour::Program>(face, fileSystem, *settingsStore, ini());
        program->start(oneInstanceWarning);
    }
    // A first run, then the three slots pointed at the real files.
    void startWithSlotsOnFiles() {
        start();
        for (int slot = 1; slot <= 3; ++slot) {
            face.setPathText(slot, file(slot));
        }
    }
    // A press of "Sync Now" whose pass runs to its end.
    void syncNow() {
        program->syncNowClicked();
        face.finishBackgroundWork();
    }
    void tick() {
        program->timerTicked();
        face.finishBackgroundWork();
    }
};

}  // namespace kelvane::testing
