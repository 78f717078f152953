// Kelvane for Windows: the settings window over the shared behaviour.

#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "platform/SessionStart.h"
#include "platform/SettingsStore.h"
#include "platform/WideText.h"
#include "settings/SettingsFile.h"
#include "win32/OneInstance.h"
#include "win32/Win32Face.h"

namespace {

std::wstring executablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // a long path was cut: try again with more room
    }
}

// A copy stuck on a stalled volume may never come back from the kernel, and its thread
// still uses the window and the file system: they must not be destroyed, and waiting for
// it could outlast the session. The settings are saved and the tray icon is gone, so the
// process ends here without its destructors; the system ends the thread with it.
[[noreturn]] void endLeavingAStuckCopy(int exitCode) {
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

int runKelvane() {
    const std::wstring executable = executablePath();
    const kelvane::win32::OneInstance oneInstance(executable);
    if (oneInstance.anotherIsRunning()) {
        ::MessageBoxW(
            nullptr, kelvane::platform::toWide(kelvane::behaviour::alreadyRunningMessage()).c_str(),
            L"Kelvane", MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
        return 0;
    }
    const auto fileSystem = kelvane::platform::makeSystemFileSystem();
    const auto settingsStore = kelvane::platform::makeSystemSettingsStore();
    kelvane::win32::Win32Face window;
    kelvane::behaviour::Program program(window, *fileSystem, *settingsStore,
                                        kelvane::settings::settingsFilePathFor(
                                            *settingsStore, kelvane::platform::toUtf8(executable),
                                            '\\', kelvane::settings::Installation::Portable));
    window.attach(program);
    const auto sessionStart =
        kelvane::platform::makeSystemSessionStart(kelvane::platform::toUtf8(executable));
    program.setSessionStart(*sessionStart);
    program.start(oneInstance.warning());
    if (!program.ended()) {
        window.showAtStart();
    }
    const int exitCode = program.ended() ? 0 : window.runMessageLoop();
    if (window.workStillRunning()) {
        endLeavingAStuckCopy(exitCode);
    }
    window.finishWork();
    return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The file dialog and the accessibility annotations are COM objects of this thread.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    const int exitCode = runKelvane();
    ::CoUninitialize();
    return exitCode;
}
