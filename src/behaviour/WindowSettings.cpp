#include "behaviour/WindowSettings.h"

namespace kelvane::behaviour {
namespace {

using settings::AppSettings;

// Each slot's fields in the stored settings, slot 1 first.
constexpr std::array<std::string AppSettings::*, 3> kPaths = {
    &AppSettings::File1, &AppSettings::File2, &AppSettings::File3};
constexpr std::array<sync::Tick AppSettings::*, 3> kTicks = {
    &AppSettings::File1_Selected, &AppSettings::File2_Selected, &AppSettings::File3_Selected};

std::size_t indexOf(int slot) {
    return static_cast<std::size_t>(slot - 1);
}

}  // namespace

void WindowSettings::showControls(const AppSettings& values) {
    for (int slot = 1; slot <= 3; ++slot) {
        face_.setTickState(slot, values.*kTicks[indexOf(slot)]);
        face_.setPathText(slot, values.*kPaths[indexOf(slot)]);
    }
    face_.setIntervalText(values.SyncInterval);
}

void WindowSettings::showFirstRun(const AppSettings& design) {
    showControls(design);
}

void WindowSettings::showStored(const AppSettings& stored) {
    showControls(stored);
    for (int slot = 1; slot <= 3; ++slot) {
        storedPaths_[indexOf(slot)] = {stored.*kPaths[indexOf(slot)], face_.pathText(slot)};
    }
}

AppSettings WindowSettings::read() const {
    AppSettings values;
    for (int slot = 1; slot <= 3; ++slot) {
        values.*kPaths[indexOf(slot)] = path(slot);
        values.*kTicks[indexOf(slot)] = face_.tickState(slot);
    }
    values.SyncInterval = face_.intervalText();
    const WindowPosition position = face_.windowPosition();
    values.FormTop = position.top;
    values.FormLeft = position.left;
    return values;
}

sync::FileSlots WindowSettings::fileSlots() const {
    sync::FileSlots slots;
    for (int slot = 1; slot <= 3; ++slot) {
        slots[indexOf(slot)] = {path(slot), face_.tickState(slot)};
    }
    return slots;
}

std::string WindowSettings::path(int slot) const {
    const std::string shown = face_.pathText(slot);
    const StoredPath& stored = storedPaths_.at(indexOf(slot));
    return shown == stored.shown ? stored.stored : shown;
}

}  // namespace kelvane::behaviour
