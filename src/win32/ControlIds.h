#pragma once

// The numbers behind the windows' controls, menu entries and private messages. The values
// stay as they have always been, so a driver or an accessibility tool that looks a control
// up by number finds the same one. What the user and screen readers see carries the
// controls' designer names ("File1Text") as window text and accessible names.

namespace kelvane::win32 {

enum ControlId : int {
    // Settings window, in the order of their numbers
    IDC_FilesFrame = 1001,
    IDC_SelectHeading,
    IDC_BrowseHeading,
    IDC_File1Caption,
    IDC_File1Tick,
    IDC_File1Path,
    IDC_File1Browse,
    IDC_File2Caption,
    IDC_File2Tick,
    IDC_File2Path,
    IDC_File2Browse,
    IDC_File3Caption,
    IDC_File3Tick,
    IDC_File3Path,
    IDC_File3Browse,
    IDC_SyncFrame,
    IDC_SyncNow,
    IDC_AutoSync,
    IDC_AutoSyncBadge,
    IDC_IntervalCaption,
    IDC_Interval,
    IDC_SecondsCaption,
    IDC_Help,
    IDC_LastSyncFrame,
    IDC_LastSyncCaption,
    IDC_LastSync,
    IDC_HideToTray,

    // Help page
    IDC_HelpFrame = 1101,
    IDC_HelpVersion,
    IDC_HelpOk,
    IDC_HelpFirstLine,  // the nineteen lines follow, top to bottom

    // Tray menu entries
    IDM_ShowSettings = 1201,
    IDM_ShowHelp,
    IDM_HideMenu,
    IDM_ExitKelvane,
};

// What a control of a file's row is.
enum class SlotControl { Caption, Tick, Path, Browse };

// The ID of a row's control: the rows are numbered alike, one after another.
constexpr int slotControlId(int slot, SlotControl control) {
    return IDC_File1Caption + (slot - 1) * 4 + static_cast<int>(control);
}

static_assert(slotControlId(1, SlotControl::Path) == IDC_File1Path);
static_assert(slotControlId(2, SlotControl::Tick) == IDC_File2Tick);
static_assert(slotControlId(3, SlotControl::Browse) == IDC_File3Browse);

// Window classes, so a driver can tell the two windows apart.
inline constexpr const wchar_t* kMainWindowClass = L"KelvaneForm";
inline constexpr const wchar_t* kHelpWindowClass = L"HelpForm";

// Private messages of the settings window (WM_APP and up).
inline constexpr unsigned kTrayCallbackMessage = 0x8000 + 1;    // the tray icon's events
inline constexpr unsigned kRunQueuedTasksMessage = 0x8000 + 2;  // work posted from threads

inline constexpr int kHelpLineCount = 19;

}  // namespace kelvane::win32
