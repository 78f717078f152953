#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/FaultyFileSystem.h"
#include "support/TempFolder.h"
#include "sync/InStepMemory.h"
#include "sync/SyncPass.h"

namespace kelvane::testing {

// Three folders a, b and c, each of which may hold "notes.txt".
class SyncFixture : public ::testing::Test {
  protected:
    static constexpr std::int64_t kOld = 1'600'000'000;  // September 2020
    static constexpr std::int64_t kNew = 1'700'000'000;  // November 2023

    TempFolder folder;
    FaultyFileSystem fileSystem;
    sync::CopyMemory memory;  // each case starts without what earlier copies showed
    sync::InStepMemory inStep;

    SyncFixture() {
        folder.makeFolder("a");
        folder.makeFolder("b");
        folder.makeFolder("c");
    }

    // In the system's own spelling ("\" on Windows), as the pass hands paths on.
    std::string path(int slot, const std::string& name = "notes.txt") const {
        return fileSystem.workingPath(
            folder.file(std::string(1, static_cast<char>('a' + slot - 1)) + "/" + name));
    }

    void put(int slot, const std::string& content, std::int64_t seconds) {
        writeFileAt(path(slot), content, seconds);
    }

    std::string contentOf(int slot) const { return readFile(path(slot)); }
    std::int64_t secondsOf(int slot) const {
        return std::chrono::duration_cast<std::chrono::seconds>(modifiedSinceEpoch(path(slot)))
            .count();
    }

    // Slots ticked as in "110" (slot 1 and 2 ticked), paths pointing into a, b and c.
    sync::FileSlots slots(const std::string& ticks) const {
        sync::FileSlots result;
        for (int i = 0; i < 3; ++i) {
            const char tick = ticks[static_cast<std::size_t>(i)];
            result[static_cast<std::size_t>(i)] = {path(i + 1), tick == '1'   ? sync::Tick::On
                                                                : tick == '2' ? sync::Tick::Greyed
                                                                              : sync::Tick::Off};
        }
        return result;
    }

    sync::SyncOutcome run(const std::string& ticks) {
        return syncSelectedFiles(slots(ticks), fileSystem, memory);
    }

    // A pass that goes by the in-step states earlier ones of this case left, as the
    // window's passes do.
    sync::SyncOutcome runRemembering(const std::string& ticks) {
        const sync::FileSlots given = slots(ticks);
        const auto outcome = syncSelectedFiles(given, fileSystem, memory, {},
                                               sync::PassTerms{inStep.statesFor(given), true});
        if (outcome.inStep) {
            inStep.remember(given, *outcome.inStep);
        }
        return outcome;
    }
};

}  // namespace kelvane::testing
