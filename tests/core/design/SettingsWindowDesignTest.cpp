#include "design/SettingsWindowDesign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace kelvane::design {
namespace {

bool takesFocus(Kind kind) {
    return kind == Kind::TickBox || kind == Kind::TextBox || kind == Kind::Button;
}

std::vector<const Control*> inCreationOrder() {
    std::vector<const Control*> controls;
    for (const Control& control : kSettingsControls) {
        controls.push_back(&control);
    }
    std::sort(controls.begin(), controls.end(),
              [](const Control* a, const Control* b) { return a->order < b->order; });
    return controls;
}

TEST(SettingsWindowDesign, EveryControlLiesInsideItsFrameAndEveryFrameInsideTheWindow) {
    std::set<std::string_view> names;
    for (const Control& control : kSettingsControls) {
        EXPECT_TRUE(names.insert(control.name).second) << control.name << " twice";
        const Twips outer = control.frame.empty() ? Twips{0, 0, kClientWidth, kClientHeight}
                                                  : design::control(control.frame).place;
        if (!control.frame.empty()) {
            EXPECT_EQ(design::control(control.frame).kind, Kind::Frame) << control.name;
        }
        EXPECT_GE(control.place.left, 0) << control.name;
        EXPECT_GE(control.place.top, 0) << control.name;
        EXPECT_LE(control.place.left + control.place.width, outer.width) << control.name;
        EXPECT_LE(control.place.top + control.place.height, outer.height) << control.name;
        EXPECT_EQ(control.frame.empty(),
                  control.kind == Kind::Frame || control.name == "HideToTrayCommand")
            << control.name;
    }
    for (const SlotNames& slot : kSlots) {
        for (const std::string_view name : {slot.caption, slot.tick, slot.path, slot.browse}) {
            EXPECT_LT(indexOf(name), kSettingsControls.size()) << name;
        }
    }
}

bool overlap(const Twips& a, const Twips& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

TEST(SettingsWindowDesign, NoTwoControlsOverlapAndEachFileRowStandsOnOneLine) {
    for (const Control& a : kSettingsControls) {
        for (const Control& b : kSettingsControls) {
            if (&a != &b && a.frame == b.frame) {
                EXPECT_FALSE(overlap(a.place, b.place)) << a.name << " and " << b.name;
            }
        }
    }
    for (std::size_t slot = 0; slot < kSlots.size(); ++slot) {
        const Twips& caption = control(kSlots[slot].caption).place;
        const Twips& tick = control(kSlots[slot].tick).place;
        const Twips& path = control(kSlots[slot].path).place;
        const Twips& browse = control(kSlots[slot].browse).place;
        EXPECT_EQ(caption.top, 675 + 450 * static_cast<int>(slot));
        EXPECT_EQ(tick.top, caption.top);
        EXPECT_EQ(path.top, caption.top - 75);
        EXPECT_EQ(browse.top, path.top);
        EXPECT_LT(caption.left, tick.left);
        EXPECT_LT(tick.left, path.left);
        EXPECT_LT(path.left, browse.left);
    }
}

TEST(SettingsWindowDesign, FramesComeFirstThenTabWalksTheTicksUpwardsAndTheRestInRows) {
    const std::vector<const Control*> created = inCreationOrder();
    for (std::size_t index = 0; index < created.size(); ++index) {
        EXPECT_EQ(created[index]->order, static_cast<int>(index)) << "each place once";
        EXPECT_EQ(created[index]->kind == Kind::Frame, index < 3) << created[index]->name;
    }
    std::vector<std::string_view> focus;
    for (const Control* control : created) {
        if (takesFocus(control->kind)) {
            focus.push_back(control->name);
        }
    }
    const std::vector<std::string_view> expected{"File3Selected",
                                                 "File2Selected",
                                                 "File1Selected",
                                                 "File1Text",
                                                 "File2Text",
                                                 "File3Text",
                                                 "SyncNowCommand",
                                                 "AutoSyncCommand",
                                                 "AutoSyncIntervalText",
                                                 "HelpCommand",
                                                 "HideToTrayCommand",
                                                 "Browse1",
                                                 "Browse2",
                                                 "Browse3"};
    EXPECT_EQ(focus, expected);
}

TEST(SettingsWindowDesign, ControlsWithoutATellingCaptionHaveScreenReaderNames) {
    for (const Control& control : kSettingsControls) {
        const bool silent = control.kind == Kind::TickBox || control.kind == Kind::TextBox ||
                            control.caption == "---";
        EXPECT_EQ(silent, !control.accessibleName.empty()) << control.name;
    }
    EXPECT_EQ(control("File1Text").accessibleName, "File1 path");
    EXPECT_EQ(control("File2Selected").accessibleName, "File2 selected");
    EXPECT_EQ(control("AutoSyncIntervalText").accessibleName, "Sync interval in seconds");
    EXPECT_EQ(control("Browse3").accessibleName, "Browse for File3");
    EXPECT_EQ(control("LastSyncLabel").accessibleDescription, "Latest sync");
    EXPECT_EQ(control("AutoSyncLabel").accessibleDescription, "Auto sync state");
}

TEST(SettingsWindowDesign, TheTrayMenuOffersItsFiveCommandsBetweenTwoSeparators) {
    std::vector<std::string> shown;
    for (const MenuEntry& entry : kTrayMenu) {
        shown.emplace_back(entry.name.empty() ? "-" : entry.caption);
    }
    // The session entry's caption comes from the program: it names the system.
    EXPECT_EQ(shown, (std::vector<std::string>{"Show Kelvane Settings", "Show Help", "", "-",
                                               "Hide this popup menu", "-", "Exit Kelvane"}));
    EXPECT_EQ(commandIndexOf("menuShowKelvane"), 0);
    EXPECT_EQ(commandIndexOf("menuStartWithSession"), 2);
    EXPECT_EQ(commandIndexOf("menuExitKelvane"), 4);
}

TEST(SettingsWindowDesign, TheStatusLineIsBlackOrRedAndTheBadgeGreenOrGrey) {
    const auto rgb = [](Colour colour) {
        return std::vector<int>{colour.red, colour.green, colour.blue};
    };
    EXPECT_EQ(rgb(kText), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(rgb(kFailureText), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(kBadgeOn), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(rgb(kBadgeOff), (std::vector<int>{240, 240, 240}));
}

}  // namespace
}  // namespace kelvane::design
