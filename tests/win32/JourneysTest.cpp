#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>
#include <memory>
#include <string>

#include "KelvaneProcess.h"
#include "support/TempFolder.h"
#include "win32/ControlIds.h"

namespace kelvane::testing {
namespace {

using namespace kelvane::win32;

constexpr std::int64_t kOld = 1'600'000'000;  // September 2020
constexpr std::int64_t kNew = 1'700'000'000;  // November 2023

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // ASCII paths of the temporary folder
}

std::string windowsPath(std::string path) {
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

// A Windows path as Windows compares it: any case, either separator.
std::wstring comparable(std::wstring path) {
    for (wchar_t& c : path) {
        c = c == L'/' ? L'\\' : static_cast<wchar_t>(::towlower(c));
    }
    return path;
}

// Kelvane.exe in a folder of its own, with folders a, b and c that may hold "notes.txt".
class Journeys : public ::testing::Test {
  protected:
    TempFolder folder;
    std::unique_ptr<KelvaneProcess> kelvane;

    Journeys() {
        for (const char* sub : {"a", "b", "c"}) {
            folder.makeFolder(sub);
        }
    }

    std::string ini() const { return windowsPath(folder.file("Kelvane.ini")); }
    std::string file(char slot) const {
        return windowsPath(folder.file(std::string(1, slot) + "/notes.txt"));
    }
    bool settingsExist() const { return std::filesystem::exists(ini()); }
    std::string settings() const { return readFile(ini()); }

    // A settings file as a user's earlier run left it: slots a and b ticked.
    void storeSettings(const std::string& autoSync = "OFF", const std::string& interval = "5") {
        writeFile(ini(), "[FilePathAndFileNames]\r\nFile1=" + file('a') + "\r\nFile2=" + file('b') +
                             "\r\nFile3=\r\n[SelectedFiles]\r\nFile1_Selected=1\r\n"
                             "File2_Selected=1\r\nFile3_Selected=0\r\n[SyncSettings]\r\n"
                             "SyncInterval=" +
                             interval + "\r\nAutoSync=" + autoSync +
                             "\r\n[SyncEvents]\r\nLastSyncEvent=NIL\r\n");
    }

    KelvaneProcess& start() {
        kelvane = std::make_unique<KelvaneProcess>(folder.path());
        EXPECT_TRUE(kelvane->waitUntilShown());
        return *kelvane;
    }

    // The box the program has open now, checked for its title and text, then answered.
    void expectBox(const std::wstring& text, int answer = IDOK) {
        HWND box = kelvane->waitForBox();
        ASSERT_NE(box, nullptr) << "no box appeared";
        EXPECT_EQ(kelvane->text(box), L"Kelvane");
        EXPECT_EQ(KelvaneProcess::boxText(box), text);
        KelvaneProcess::press(box, answer);
        ASSERT_TRUE(waitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }));
    }

    void exitFromTrayMenu() {
        kelvane->post(WM_COMMAND, IDM_ExitKelvane, 0);
        ASSERT_TRUE(kelvane->waitForExit());
        EXPECT_EQ(kelvane->exitCode(), 0u);
    }
};

int countWindows(const KelvaneProcess& app, const wchar_t* className) {
    struct Count {
        DWORD processId;
        const wchar_t* className;
        int found;
    } count{app.id(), className, 0};
    ::EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* count = reinterpret_cast<Count*>(parameter);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (owner == count->processId && std::wstring_view(name) == count->className &&
                ::IsWindowVisible(window)) {
                ++count->found;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.found;
}

TEST_F(Journeys, FirstRunShowsTheDesignValuesAndTheHelpPageAndWritesNothing) {
    KelvaneProcess& app = start();
    EXPECT_EQ(app.text(app.window()), L"Kelvane v1.45");
    EXPECT_EQ(app.text(IDC_File1Path), L"C:\\SomePath\\ExampleFolder\\file1.txt");
    EXPECT_EQ(app.text(IDC_File2Path), L"C:\\CloudPath\\ExampleFolder\\file1.txt");
    EXPECT_EQ(app.text(IDC_File3Path), L"");
    EXPECT_TRUE(app.ticked(IDC_File1Tick));
    EXPECT_TRUE(app.ticked(IDC_File2Tick));
    EXPECT_FALSE(app.ticked(IDC_File3Tick));
    EXPECT_EQ(app.text(IDC_Interval), L"10");
    EXPECT_EQ(app.text(IDC_AutoSyncBadge), L" OFF ");
    EXPECT_EQ(app.text(IDC_LastSync), L"NIL");
    EXPECT_EQ(app.text(IDC_FilesFrame), L"Files to Sync");
    EXPECT_EQ(app.text(IDC_File2Browse), L"---");

    HWND help = app.waitForWindow(kHelpWindowClass);
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(app.text(help), L"Kelvane Help");
    EXPECT_EQ(::GetWindow(help, GW_OWNER), app.window()) << "stays in front of the window";
    EXPECT_EQ(app.text(::GetDlgItem(help, IDC_HelpVersion)), L"v1.45");
    EXPECT_EQ(app.text(::GetDlgItem(help, IDC_HelpFirstLine)),
              L"Kelvane is a Background Process in System Tray");
    EXPECT_EQ(app.text(::GetDlgItem(help, IDC_HelpFirstLine + 17)),
              L"Enter \"shell:startup\" in File Explorer for startup folder");
    EXPECT_FALSE(settingsExist());

    exitFromTrayMenu();
    EXPECT_TRUE(settingsExist()) << "Exit saves";
    EXPECT_NE(settings().find("File1=C:\\SomePath\\ExampleFolder\\file1.txt"), std::string::npos);
}

TEST_F(Journeys, TheKeyboardStartsAtTheFirstTickBoxAndTabFollowsTheFocusOrder) {
    storeSettings();
    KelvaneProcess& app = start();
    const auto focused = [&] {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(app.window(), nullptr), &thread);
        return ::GetDlgCtrlID(thread.hwndFocus);
    };
    const int order[] = {IDC_File3Tick,   IDC_File2Tick,   IDC_File1Tick,  IDC_File1Path,
                         IDC_File2Path,   IDC_File3Path,   IDC_SyncNow,    IDC_AutoSync,
                         IDC_Interval,    IDC_Help,        IDC_HideToTray, IDC_File1Browse,
                         IDC_File2Browse, IDC_File3Browse, IDC_File3Tick};
    for (const int id : order) {
        EXPECT_TRUE(waitUntil([&] { return focused() == id; }))
            << "expected " << id << ", got " << focused();
        ::PostMessageW(app.control(id), WM_KEYDOWN, VK_TAB, 0);
    }
    exitFromTrayMenu();
}

TEST_F(Journeys, HelpOpensFromItsButtonAndEscOrOkClosesIt) {
    storeSettings();
    KelvaneProcess& app = start();
    app.settle();
    EXPECT_EQ(app.findWindow(kHelpWindowClass), nullptr) << "only a first run opens it";
    for (const bool byEscape : {true, false}) {
        app.click(IDC_Help);
        HWND help = app.waitForWindow(kHelpWindowClass);
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(::GetWindow(help, GW_OWNER), nullptr);
        RECT page{};
        RECT main{};
        ::GetWindowRect(help, &page);
        ::GetWindowRect(app.window(), &main);
        const int offset = ::MulDiv(400, static_cast<int>(::GetDpiForWindow(app.window())), 1440);
        EXPECT_EQ(page.left - main.left, offset) << "400 twips right of the window";
        EXPECT_EQ(page.top - main.top, offset) << "and 400 below";
        app.click(IDC_Help);  // again: the open page comes forward, no second one
        app.settle();
        EXPECT_EQ(app.findWindow(kHelpWindowClass), help);
        EXPECT_EQ(countWindows(app, kHelpWindowClass), 1);
        HWND ok = ::GetDlgItem(help, IDC_HelpOk);
        EXPECT_EQ(app.text(ok), L"OK");
        if (byEscape) {
            ::PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0);
        } else {
            ::PostMessageW(help, WM_COMMAND, MAKEWPARAM(IDC_HelpOk, BN_CLICKED),
                           reinterpret_cast<LPARAM>(ok));
        }
        EXPECT_TRUE(waitUntil([&] { return app.findWindow(kHelpWindowClass) == nullptr; }));
    }
    exitFromTrayMenu();
}

TEST_F(Journeys, SyncNowCopiesTheNewestFileOverTheOlder) {
    writeFileAt(file('a'), "old bytes", kOld);
    writeFileAt(file('b'), "new bytes", kNew);
    storeSettings();
    KelvaneProcess& app = start();
    app.click(IDC_SyncNow);
    ASSERT_TRUE(waitUntil([&] { return app.text(IDC_LastSync).rfind(L"File1 updated ", 0) == 0; }))
        << "status: " << ::testing::PrintToString(app.text(IDC_LastSync));
    EXPECT_NE(app.text(IDC_LastSync).find(L" at "), std::wstring::npos);
    EXPECT_EQ(readFile(file('a')), "new bytes");
    EXPECT_EQ(modifiedSinceEpoch(file('a')), std::chrono::seconds(kNew));
    EXPECT_EQ(app.findWindow(L"#32770"), nullptr);
    exitFromTrayMenu();
    EXPECT_NE(settings().find("LastSyncEvent=File1 updated "), std::string::npos);
}

TEST_F(Journeys, AutoSyncFromTheSettingsFileCopiesOnTheTimersTick) {
    writeFileAt(file('a'), "old bytes", kOld);
    writeFileAt(file('b'), "new bytes", kNew);
    storeSettings("ON", "1");
    KelvaneProcess& app = start();
    EXPECT_EQ(app.text(IDC_AutoSyncBadge), L" ON ");
    EXPECT_TRUE(waitUntil([&] { return readFile(file('a')) == "new bytes"; }))
        << "status: " << ::testing::PrintToString(app.text(IDC_LastSync));
    EXPECT_TRUE(waitUntil([&] { return app.text(IDC_LastSync).rfind(L"File1 updated ", 0) == 0; }))
        << "status: " << ::testing::PrintToString(app.text(IDC_LastSync));
    exitFromTrayMenu();
    EXPECT_NE(settings().find("AutoSync=ON"), std::string::npos);
}

TEST_F(Journeys, EachRefusalShowsItsBoxAndSwitchesAutoSyncOff) {
    writeFileAt(file('a'), "a", kOld);
    writeFileAt(file('b'), "b", kNew);
    writeFileAt(windowsPath(folder.file("c/other.txt")), "c", kNew);
    storeSettings("ON", "5");
    KelvaneProcess& app = start();
    ASSERT_EQ(app.text(IDC_AutoSyncBadge), L" ON ");
    ASSERT_FALSE(app.enabled(IDC_File1Path));

    struct Refusal {
        std::wstring file2;
        bool tick2;
        std::wstring text;
    };
    const Refusal refusals[] = {
        {wide(windowsPath(folder.file("b/missing.txt"))), true,
         L"File2 not found\r\n\r\nCheck file path and name or unselect file."},
        {wide(windowsPath(folder.file("c/other.txt"))), true,
         L"File names must be identical in each folder."},
        {wide(file('b')), false, L"Select at least two files"},
    };
    for (const Refusal& refusal : refusals) {
        app.click(IDC_AutoSync);  // off, so the slots can be changed
        ASSERT_TRUE(waitUntil([&] { return app.enabled(IDC_File2Path); }));
        app.setText(IDC_File2Path, refusal.file2);
        app.setTicked(IDC_File2Tick, refusal.tick2);
        app.click(IDC_AutoSync);  // on again
        ASSERT_TRUE(waitUntil([&] { return app.text(IDC_AutoSyncBadge) == L" ON "; }));
        app.click(IDC_SyncNow);
        expectBox(refusal.text);
        EXPECT_EQ(app.text(IDC_AutoSyncBadge), L" OFF ");
        EXPECT_TRUE(app.enabled(IDC_File1Path));
        app.click(IDC_AutoSync);
    }
    EXPECT_EQ(readFile(file('a')), "a") << "a refusal copies nothing";
    exitFromTrayMenu();
}

TEST_F(Journeys, ACopyOntoAFileHeldOpenShowsTheFailureLineAndNoBox) {
    writeFileAt(file('a'), "old bytes", kOld);
    writeFileAt(file('b'), "new bytes", kNew);
    storeSettings();
    HANDLE held = ::CreateFileW(wide(file('a')).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    KelvaneProcess& app = start();
    app.click(IDC_SyncNow);
    EXPECT_TRUE(waitUntil([&] {
        return app.text(IDC_LastSync) == L"Sync failed. File(s) might be open in other app.";
    }));
    app.settle();
    EXPECT_EQ(app.findWindow(L"#32770"), nullptr);
    ::CloseHandle(held);
    EXPECT_EQ(readFile(file('a')), "old bytes");
    exitFromTrayMenu();
}

TEST_F(Journeys, TheIntervalIsCheckedAndAutoSyncLocksTheSlots) {
    storeSettings();
    KelvaneProcess& app = start();
    const std::pair<std::wstring, std::wstring> refused[] = {
        {L"abc", L"Enter only numbers to Sync Interval"},
        {L"1.5", L"Enter only numbers to Sync Interval"},
        {L"61", L"Max Sync Interval is 60 seconds"},
    };
    for (const auto& [interval, message] : refused) {
        app.setText(IDC_Interval, interval);
        app.click(IDC_AutoSync);
        expectBox(message);
        EXPECT_EQ(app.text(IDC_AutoSyncBadge), L" OFF ");
        EXPECT_TRUE(app.enabled(IDC_Interval));
    }
    app.setText(IDC_Interval, L"060");
    app.click(IDC_AutoSync);
    ASSERT_TRUE(waitUntil([&] { return app.text(IDC_AutoSyncBadge) == L" ON "; }));
    for (const int id : {IDC_File1Tick, IDC_File2Tick, IDC_File3Tick, IDC_File1Path, IDC_File2Path,
                         IDC_File3Path, IDC_Interval}) {
        EXPECT_FALSE(app.enabled(id)) << id;
    }
    for (const int id : {IDC_File1Browse, IDC_File2Browse, IDC_File3Browse, IDC_SyncNow,
                         IDC_AutoSync, IDC_Help, IDC_HideToTray}) {
        EXPECT_TRUE(app.enabled(id)) << id;
    }
    app.click(IDC_AutoSync);
    ASSERT_TRUE(waitUntil([&] { return app.text(IDC_AutoSyncBadge) == L" OFF "; }));
    EXPECT_TRUE(app.enabled(IDC_File1Path));
    exitFromTrayMenu();
    EXPECT_NE(settings().find("SyncInterval=060"), std::string::npos);
}

TEST_F(Journeys, HideToTraySavesAndATrayClickBringsTheWindowBack) {
    storeSettings();
    KelvaneProcess& app = start();
    app.setText(IDC_File3Path, L"C:\\Elsewhere\\notes.txt");
    std::filesystem::remove(ini());
    app.click(IDC_HideToTray);
    // Without a notification area (as here, headless) the window is minimised instead.
    ASSERT_TRUE(
        waitUntil([&] { return !::IsWindowVisible(app.window()) || ::IsIconic(app.window()); }));
    ASSERT_TRUE(settingsExist());
    EXPECT_NE(settings().find("File3=C:\\Elsewhere\\notes.txt"), std::string::npos);

    app.post(kTrayCallbackMessage, 0, MAKELPARAM(WM_LBUTTONDOWN, 1));
    EXPECT_TRUE(
        waitUntil([&] { return ::IsWindowVisible(app.window()) && !::IsIconic(app.window()); }));
    exitFromTrayMenu();
}

// Run where a notification area exists (the Windows test run does so once under Xvfb):
// the icon is added, so Hide to tray hides the window rather than minimising it.
TEST_F(Journeys, WithANotificationAreaHideToTrayHidesTheWindow) {
    if (std::getenv("KELVANE_EXPECT_TRAY") == nullptr) {
        GTEST_SKIP() << "no notification area here";
    }
    storeSettings();
    KelvaneProcess& app = start();
    app.click(IDC_HideToTray);
    ASSERT_TRUE(waitUntil([&] { return !::IsWindowVisible(app.window()); }));
    EXPECT_FALSE(::IsIconic(app.window()));
    app.post(kTrayCallbackMessage, 0, MAKELPARAM(WM_LBUTTONDOWN, 1));
    EXPECT_TRUE(waitUntil([&] { return ::IsWindowVisible(app.window()) != FALSE; }));
    exitFromTrayMenu();
}

TEST_F(Journeys, ASecondStartShowsTheMessageAndEnds) {
    storeSettings();
    KelvaneProcess& first = start();
    const std::string before = settings();
    KelvaneProcess second(folder.path());
    HWND box = second.waitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(second.text(box), L"Kelvane");
    EXPECT_EQ(KelvaneProcess::boxText(box),
              L"Kelvane  is already running.\r\nClick system tray icon.");
    EXPECT_EQ(second.findWindow(kMainWindowClass), nullptr);
    KelvaneProcess::press(box, IDOK);
    ASSERT_TRUE(second.waitForExit());
    EXPECT_TRUE(first.running());
    EXPECT_EQ(settings(), before);
    exitFromTrayMenu();
}

TEST_F(Journeys, TheCloseBoxAsksAndNoKeepsKelvaneRunning) {
    storeSettings();
    KelvaneProcess& app = start();
    app.setText(IDC_File3Path, L"C:\\Kept\\notes.txt");
    app.post(WM_CLOSE, 0, 0);
    HWND box = app.waitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(KelvaneProcess::boxText(box), L"Do you really want to stop Kelvane?");
    EXPECT_NE(::GetDlgItem(box, IDYES), nullptr);
    const LONG_PTR noStyle = ::GetWindowLongPtrW(::GetDlgItem(box, IDNO), GWL_STYLE);
    EXPECT_EQ(noStyle & BS_TYPEMASK, BS_DEFPUSHBUTTON) << "No is the default";
    KelvaneProcess::press(box, IDNO);
    ASSERT_TRUE(waitUntil([&] { return app.findWindow(L"#32770") == nullptr; }));
    app.settle();
    EXPECT_TRUE(app.running());
    EXPECT_EQ(settings().find("C:\\Kept"), std::string::npos) << "No saves nothing";

    app.post(WM_CLOSE, 0, 0);
    expectBox(L"Do you really want to stop Kelvane?", IDYES);
    ASSERT_TRUE(app.waitForExit());
    EXPECT_NE(settings().find("File3=C:\\Kept\\notes.txt"), std::string::npos);
}

TEST_F(Journeys, ASessionEndSavesWithoutAskingEvenWithTheQuestionOpen) {
    storeSettings();
    KelvaneProcess& app = start();
    app.setText(IDC_File3Path, L"C:\\Session\\notes.txt");
    app.post(WM_CLOSE, 0, 0);
    ASSERT_NE(app.waitForBox(), nullptr);
    DWORD_PTR allowed = 0;
    ::SendMessageTimeoutW(app.window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                          &allowed);
    EXPECT_EQ(allowed, TRUE) << "never holds up the log-off";
    ::SendMessageTimeoutW(app.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                          nullptr);
    EXPECT_NE(settings().find("File3=C:\\Session\\notes.txt"), std::string::npos)
        << "saved before the log-off goes on";
    EXPECT_TRUE(app.waitForExit());
}

TEST_F(Journeys, ASessionEndWhileHiddenSavesAndEnds) {
    storeSettings();
    KelvaneProcess& app = start();
    app.click(IDC_HideToTray);
    ASSERT_TRUE(
        waitUntil([&] { return !::IsWindowVisible(app.window()) || ::IsIconic(app.window()); }));
    app.setText(IDC_File3Path, L"C:\\Hidden\\notes.txt");
    ::SendMessageTimeoutW(app.window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                          nullptr);
    ::SendMessageTimeoutW(app.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                          nullptr);
    EXPECT_NE(settings().find("File3=C:\\Hidden\\notes.txt"), std::string::npos);
    EXPECT_EQ(app.findWindow(L"#32770"), nullptr) << "no question";
    EXPECT_TRUE(app.waitForExit());
}

TEST_F(Journeys, SettingsInTheAnsiCodePageLoadAndSaveUnchanged) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "needs Windows-1252 as the ANSI code page";
    }
    storeSettings();
    std::string bytes = settings();
    const std::string stored = "C:\\Caf\xe9\\notes.txt";  // e acute in Windows-1252
    bytes += "[Extra]\r\nKept=yes\r\n";
    bytes.replace(bytes.find("File3="), 6, "File3=" + stored);
    writeFile(ini(), bytes);
    KelvaneProcess& app = start();
    EXPECT_EQ(app.text(IDC_File3Path), L"C:\\Caf\u00e9\\notes.txt");
    exitFromTrayMenu();
    EXPECT_NE(settings().find("File3=" + stored + "\r\n"), std::string::npos);
    EXPECT_NE(settings().find("Kept=yes"), std::string::npos);
}

// Windows-1252 has neither the Cyrillic nor the Japanese letters: written as "?", the path
// would name nothing after the restart.
TEST_F(Journeys, APathTheAnsiCodePageCannotHoldComesBackAfterARestart) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "needs Windows-1252 as the ANSI code page";
    }
    const std::wstring typed = L"C:\\KT\\data\\paths\\\x0416\\\x65E5\x672C.txt";
    storeSettings();
    KelvaneProcess& app = start();
    app.setText(IDC_File1Path, typed);
    app.click(IDC_HideToTray);
    // Saved before the window goes; a read while it saves could make the replace fail.
    ASSERT_TRUE(
        waitUntil([&] { return !::IsWindowVisible(app.window()) || ::IsIconic(app.window()); }));
    EXPECT_EQ(settings().rfind("\xFF\xFE", 0), 0u) << "saved as UTF-16LE with its mark";
    exitFromTrayMenu();

    KelvaneProcess& again = start();
    EXPECT_EQ(again.text(IDC_File1Path), typed);
    exitFromTrayMenu();
}

// A window partly above the screen can be dragged back by what shows of it; one that no
// monitor shows at all cannot, so it is centred on the main screen.
TEST_F(Journeys, AStoredPlaceOnAnyScreenIsKeptAndOneOffEveryScreenIsCentred) {
    const auto startAt = [&](const std::string& top, const std::string& left) -> RECT {
        storeSettings();
        writeFile(ini(), settings() + "[FormLocation]\r\nFormTop=" + top + "\r\nFormLeft=" + left +
                             "\r\n");
        KelvaneProcess& app = start();
        RECT outer{};
        ::GetWindowRect(app.window(), &outer);
        exitFromTrayMenu();
        return outer;
    };
    const int dpi = static_cast<int>(::GetDpiForSystem());

    const RECT partlyAbove = startAt("-150", "1500");
    EXPECT_EQ(partlyAbove.top, ::MulDiv(-150, dpi, 1440));
    EXPECT_EQ(partlyAbove.left, ::MulDiv(1500, dpi, 1440));

    const RECT offEveryScreen = startAt("-3000000", "-3000000");
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG width = offEveryScreen.right - offEveryScreen.left;
    const LONG height = offEveryScreen.bottom - offEveryScreen.top;
    EXPECT_EQ(offEveryScreen.left, work.left + (work.right - work.left - width) / 2);
    EXPECT_EQ(offEveryScreen.top, work.top + (work.bottom - work.top - height) / 2);
}

TEST_F(Journeys, BrowseCancelledLeavesThePathBoxAlone) {
    storeSettings();
    KelvaneProcess& app = start();
    const std::wstring before = app.text(IDC_File2Path);
    app.click(IDC_File2Browse);
    HWND dialog = app.waitForBox();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(app.text(dialog), L"Kelvane Select file");
    KelvaneProcess::press(dialog, IDCANCEL);
    ASSERT_TRUE(waitUntil([&] { return app.findWindow(L"#32770") == nullptr; }));
    app.settle();
    EXPECT_EQ(app.text(IDC_File2Path), before);
    exitFromTrayMenu();
}

// The file name box of the open dialog: its first visible edit box.
HWND fileNameBox(HWND dialog) {
    HWND found = nullptr;
    ::EnumChildWindows(
        dialog,
        [](HWND child, LPARAM parameter) -> BOOL {
            wchar_t name[16] = {};
            ::GetClassNameW(child, name, 16);
            if (std::wstring_view(name) == L"Edit" && ::IsWindowVisible(child)) {
                *reinterpret_cast<HWND*>(parameter) = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST_F(Journeys, BrowseFillsOnlyItsBoxAndTheNextOneOpensInTheSameFolder) {
    writeFileAt(file('c'), "c", kOld);
    storeSettings();
    KelvaneProcess& app = start();
    app.setTicked(IDC_File3Tick, false);
    app.click(IDC_File3Browse);
    HWND dialog = app.waitForBox();
    ASSERT_NE(dialog, nullptr);
    HWND name = fileNameBox(dialog);
    ASSERT_NE(name, nullptr);
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(file('c')).c_str()));
    KelvaneProcess::press(dialog, IDOK);
    EXPECT_TRUE(waitUntil([&] { return app.text(IDC_File3Path) == wide(file('c')); }))
        << ::testing::PrintToString(app.text(IDC_File3Path));
    EXPECT_FALSE(app.ticked(IDC_File3Tick)) << "the tick stays as it was";
    EXPECT_EQ(app.text(IDC_File1Path), wide(file('a')));

    // The next dialog opens in that folder: a bare name is found there.
    app.click(IDC_File1Browse);
    dialog = app.waitForBox();
    ASSERT_NE(dialog, nullptr);
    ::SendMessageW(fileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"notes.txt"));
    KelvaneProcess::press(dialog, IDOK);
    EXPECT_TRUE(waitUntil([&] { return app.text(IDC_File1Path) == wide(file('c')); }))
        << ::testing::PrintToString(app.text(IDC_File1Path));
    exitFromTrayMenu();
}

TEST_F(Journeys, TheTrayMenuOpensOnARightClick) {
    storeSettings();
    KelvaneProcess& app = start();
    app.post(kTrayCallbackMessage, MAKEWPARAM(100, 100), MAKELPARAM(WM_CONTEXTMENU, 1));
    HWND menu = app.waitForWindow(L"#32768");
    ASSERT_NE(menu, nullptr);
    // Esc closes it as it would for the user; then the entries work through their IDs.
    app.post(WM_CANCELMODE, 0, 0);
    app.post(WM_COMMAND, IDM_ShowHelp, 0);
    EXPECT_NE(app.waitForWindow(kHelpWindowClass), nullptr);
    exitFromTrayMenu();
}

}  // namespace
}  // namespace kelvane::testing

namespace kelvane::testing {
namespace {

// The "Kelvane" value of the user's Run key, lower case with "\" separators, or "".
std::wstring runValue() {
    wchar_t command[1024] = {};
    DWORD size = sizeof command;
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                       L"Kelvane", RRF_RT_REG_SZ, nullptr, command, &size) != ERROR_SUCCESS) {
        return {};
    }
    return comparable(command);
}

TEST_F(Journeys, StartWithWindowsFromTheTrayMenuNamesThisCopyAndComesOutAgain) {
    storeSettings();
    const std::string before = settings();
    KelvaneProcess& app = start();

    app.post(WM_COMMAND, IDM_StartWithSession, 0);
    app.settle();
    EXPECT_EQ(runValue(), L"\"" + comparable((folder.path() / "Kelvane.exe").wstring()) + L"\"");

    app.post(WM_COMMAND, IDM_StartWithSession, 0);
    app.settle();
    EXPECT_EQ(runValue(), L"");
    EXPECT_EQ(settings(), before) << "the system keeps this, not the settings file";
    exitFromTrayMenu();
}

// The program as the installer left it: scripts/test-windows.sh names its folder after
// "msiexec /i". It runs as on a first run, ends from its tray menu, and keeps its settings
// beside itself, in the user's own folder.
TEST(InstalledProgram, RunsItsFirstRunAndKeepsItsSettingsBesideItself) {
    const char* installed = std::getenv("KELVANE_INSTALLED_FOLDER");
    if (installed == nullptr) {
        GTEST_SKIP() << "no installed program named";
    }
    const std::filesystem::path folder(installed);
    ASSERT_TRUE(std::filesystem::exists(folder / "Kelvane.exe"));
    KelvaneProcess app(folder);
    ASSERT_TRUE(app.waitUntilShown());
    EXPECT_EQ(app.text(app.window()), L"Kelvane v1.45");
    EXPECT_NE(app.waitForWindow(kHelpWindowClass), nullptr) << "a first run opens the help page";
    app.post(WM_COMMAND, IDM_ExitKelvane, 0);
    ASSERT_TRUE(app.waitForExit());
    EXPECT_EQ(app.exitCode(), 0u);
    EXPECT_TRUE(std::filesystem::exists(folder / "Kelvane.ini"));
}

}  // namespace
}  // namespace kelvane::testing
