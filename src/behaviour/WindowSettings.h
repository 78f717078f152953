#pragma once

#include <array>
#include <string>

#include "behaviour/Face.h"
#include "settings/SettingsFile.h"
#include "sync/SyncPass.h"

namespace kelvane::behaviour {

// The settings the window's controls hold: the three slots, the interval and the
// window's place. Shown from the settings file, read back for a save and for a pass.
class WindowSettings {
  public:
    explicit WindowSettings(Face& face) : face_(face) {}

    // The slots and the interval as a first run shows them.
    void showFirstRun(const settings::AppSettings& design);
    // The slots and the interval from the settings file, each path's stored bytes kept.
    void showStored(const settings::AppSettings& stored);

    // What a save stores of the window: the slots, the interval and its place.
    settings::AppSettings read() const;
    // The slots as a pass works on them.
    sync::FileSlots fileSlots() const;
    // A slot's path: the stored bytes while its box still shows what it was given.
    std::string path(int slot) const;

  private:
    void showControls(const settings::AppSettings& values);

    Face& face_;
    // A stored path as the settings file holds it, and as its box shows it. Bytes that
    // are no UTF-8 (Latin-1 names on Linux) cannot be shown as they are; while the box
    // still shows what it was given, the stored bytes are the path.
    struct StoredPath {
        std::string stored;
        std::string shown;
    };
    std::array<StoredPath, 3> storedPaths_;
};

}  // namespace kelvane::behaviour
