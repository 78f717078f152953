#pragma once

// The numbers behind the windows' controls, menu entries and private messages. The settings
// window's and the tray menu's come from the design's tables, by the designer's names, so a
// driver finds "File1Text" by the same name every face uses; they stay the numbers they
// have always been for any tool that looks a control up by number.

#include <cstddef>
#include <string_view>

#include "design/HelpPageDesign.h"
#include "design/SettingsWindowDesign.h"

namespace kelvane::win32 {

inline constexpr int kFirstSettingsId = 1001;
inline constexpr int kFirstMenuId = 1201;

// A settings window control's ID: its place in the design's table, after the first.
constexpr int controlId(std::string_view designName) {
    return kFirstSettingsId + static_cast<int>(design::indexOf(designName));
}

// A tray menu command's ID: its place among the design's commands, after the first.
constexpr int menuId(std::string_view designName) {
    return kFirstMenuId + design::commandIndexOf(designName);
}

// Settings window
inline constexpr int IDC_FilesFrame = controlId("Frame1");
inline constexpr int IDC_SelectHeading = controlId("Label7");
inline constexpr int IDC_BrowseHeading = controlId("Label8");
inline constexpr int IDC_SyncFrame = controlId("Frame3");
inline constexpr int IDC_SyncNow = controlId("SyncNowCommand");
inline constexpr int IDC_AutoSync = controlId("AutoSyncCommand");
inline constexpr int IDC_AutoSyncBadge = controlId("AutoSyncLabel");
inline constexpr int IDC_IntervalCaption = controlId("Label3");
inline constexpr int IDC_Interval = controlId("AutoSyncIntervalText");
inline constexpr int IDC_SecondsCaption = controlId("Label4");
inline constexpr int IDC_Help = controlId("HelpCommand");
inline constexpr int IDC_LastSyncFrame = controlId("Frame2");
inline constexpr int IDC_LastSyncCaption = controlId("Label6");
inline constexpr int IDC_LastSync = controlId("LastSyncLabel");
inline constexpr int IDC_HideToTray = controlId("HideToTrayCommand");

// What a control of a file's row is.
enum class SlotControl { Caption, Tick, Path, Browse };

// The ID of a row's control, slot 1 to 3.
constexpr int slotControlId(int slot, SlotControl control) {
    const design::SlotNames& names = design::kSlots[static_cast<std::size_t>(slot - 1)];
    switch (control) {
        case SlotControl::Caption:
            return controlId(names.caption);
        case SlotControl::Tick:
            return controlId(names.tick);
        case SlotControl::Path:
            return controlId(names.path);
        case SlotControl::Browse:
            break;
    }
    return controlId(names.browse);
}

inline constexpr int IDC_File1Caption = slotControlId(1, SlotControl::Caption);
inline constexpr int IDC_File1Tick = slotControlId(1, SlotControl::Tick);
inline constexpr int IDC_File1Path = slotControlId(1, SlotControl::Path);
inline constexpr int IDC_File1Browse = slotControlId(1, SlotControl::Browse);
inline constexpr int IDC_File2Caption = slotControlId(2, SlotControl::Caption);
inline constexpr int IDC_File2Tick = slotControlId(2, SlotControl::Tick);
inline constexpr int IDC_File2Path = slotControlId(2, SlotControl::Path);
inline constexpr int IDC_File2Browse = slotControlId(2, SlotControl::Browse);
inline constexpr int IDC_File3Caption = slotControlId(3, SlotControl::Caption);
inline constexpr int IDC_File3Tick = slotControlId(3, SlotControl::Tick);
inline constexpr int IDC_File3Path = slotControlId(3, SlotControl::Path);
inline constexpr int IDC_File3Browse = slotControlId(3, SlotControl::Browse);

// The numbers as they have always been, for any tool that looks a control up by number.
static_assert(IDC_FilesFrame == 1001 && IDC_File1Path == 1006 && IDC_File3Browse == 1015);
static_assert(IDC_SyncNow == 1017 && IDC_LastSync == 1026 && IDC_HideToTray == 1027);

// Help page
enum HelpControlId : int {
    IDC_HelpFrame = 1101,
    IDC_HelpVersion,
    IDC_HelpOk,
    IDC_HelpFirstLine,  // the nineteen lines follow, top to bottom
};

// Tray menu entries
inline constexpr int IDM_ShowSettings = menuId("menuShowKelvane");
inline constexpr int IDM_ShowHelp = menuId("menuShowHelp");
inline constexpr int IDM_StartWithSession = menuId("menuStartWithSession");
inline constexpr int IDM_HideMenu = menuId("menuHideThisPopupMenu");
inline constexpr int IDM_ExitKelvane = menuId("menuExitKelvane");

// Window classes, so a driver can tell the two windows apart.
inline constexpr const wchar_t* kMainWindowClass = L"KelvaneForm";
inline constexpr const wchar_t* kHelpWindowClass = L"HelpForm";

// Private messages of the settings window (WM_APP and up).
inline constexpr unsigned kTrayCallbackMessage = 0x8000 + 1;    // the tray icon's events
inline constexpr unsigned kRunQueuedTasksMessage = 0x8000 + 2;  // work posted from threads

inline constexpr int kHelpLineCount = static_cast<int>(design::kHelpLines.size());

}  // namespace kelvane::win32
