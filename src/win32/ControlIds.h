#pragma once

// The numbers behind the window's controls, menu entries and private messages. Each
// control's ID carries its designer name, so a test driver or an accessibility tool can
// find "File1Text" by the same name it has on every other face.

namespace kelvane::win32 {

enum ControlId : int {
    // Settings window
    IDC_Frame1 = 1001,
    IDC_Label7,
    IDC_Label8,
    IDC_Label1,
    IDC_File1Selected,
    IDC_File1Text,
    IDC_Browse1,
    IDC_Label2,
    IDC_File2Selected,
    IDC_File2Text,
    IDC_Browse2,
    IDC_Label5,
    IDC_File3Selected,
    IDC_File3Text,
    IDC_Browse3,
    IDC_Frame3,
    IDC_SyncNowCommand,
    IDC_AutoSyncCommand,
    IDC_AutoSyncLabel,
    IDC_Label3,
    IDC_AutoSyncIntervalText,
    IDC_Label4,
    IDC_HelpCommand,
    IDC_Frame2,
    IDC_Label6,
    IDC_LastSyncLabel,
    IDC_HideToTrayCommand,

    // Help page
    IDC_HelpFrame1 = 1101,
    IDC_HelpVersionLabel,
    IDC_HelpCommand1,
    IDC_HelpFirstLine,  // the nineteen lines follow, top to bottom

    // Tray menu entries
    IDM_menuShowKelvane = 1201,
    IDM_menuShowHelp,
    IDM_menuHideThisPopupMenu,
    IDM_menuExitKelvane,
    IDM_menuStartWithSession,  // shown after "Show Help"
};

// Window classes, so a driver can tell the two windows apart.
inline constexpr const wchar_t* kMainWindowClass = L"KelvaneForm";
inline constexpr const wchar_t* kHelpWindowClass = L"HelpForm";

// Private messages of the settings window (WM_APP and up).
inline constexpr unsigned kTrayCallbackMessage = 0x8000 + 1;    // the tray icon's events
inline constexpr unsigned kRunQueuedTasksMessage = 0x8000 + 2;  // work posted from threads

inline constexpr int kHelpLineCount = 19;

}  // namespace kelvane::win32
