// Starts a Windows program, times it from CreateProcess to its first visible top-level
// window, waits for it to settle, and reads its working set; prints one line per run:
// "milliseconds working-set-KiB peak-working-set-KiB".
// usage: kelvane_footprint_probe PROGRAM.exe [RUNS]

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

struct Search {
    DWORD processId;
    bool found;
};

BOOL CALLBACK findShownWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && ::IsWindowVisible(window) &&
        ::GetWindow(window, GW_OWNER) == nullptr) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

bool hasShownWindow(DWORD processId) {
    Search search{processId, false};
    ::EnumWindows(findShownWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void measureOnce(const std::wstring& program) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + program + L"\"";
    const auto started = std::chrono::steady_clock::now();
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start the program\n");
        std::exit(1);
    }
    while (!hasShownWindow(process.dwProcessId)) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    const auto ready = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let it settle
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
    const double milliseconds = std::chrono::duration<double, std::milli>(ready - started).count();
    const std::string line = std::to_string(milliseconds) + " " +
                             std::to_string(memory.WorkingSetSize / 1024) + " " +
                             std::to_string(memory.PeakWorkingSetSize / 1024) + "\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    ::TerminateProcess(process.hProcess, 0);
    ::WaitForSingleObject(process.hProcess, 5000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelvane_footprint_probe PROGRAM.exe [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 5;
    for (int run = 0; run < runs; ++run) {
        measureOnce(argv[1]);
    }
    return 0;
}
