// The "Kelvane" value of the user's Run key, read back as Windows' own tools read it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/SessionStart.h"

namespace kelvane::testing {
namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kApprovedKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr const char* kPortable = "C:\\Users\\Ann\\Kelvane Portable\\Kelvane.exe";

// What `reg query` prints for the value: its line, or "" when there is none.
std::string regQueryLine() {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(
        ::_popen("reg query HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run /v Kelvane "
                 "2>nul",
                 "r"),
        ::_pclose);
    std::string found;
    char line[1024];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        const std::string text(line);
        if (text.find("Kelvane") != std::string::npos && text.find("REG_SZ") != std::string::npos) {
            found = text.substr(text.find("REG_SZ") + 6);
            found.erase(0, found.find_first_not_of(" \t"));
            found.erase(found.find_last_not_of("\r\n") + 1);
        }
    }
    return found;
}

void writeRunValue(const std::wstring& command) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Kelvane", REG_SZ, command.c_str(),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void writeApproval(BYTE first) {
    const BYTE data[12] = {first};
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kApprovedKey, L"Kelvane", REG_BINARY, data,
                                sizeof data),
              ERROR_SUCCESS);
}

bool approvalExists() {
    return ::RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, L"Kelvane", RRF_RT_ANY, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS;
}

class RunValue : public ::testing::Test {
  protected:
    RunValue() { forget(); }
    ~RunValue() override { forget(); }
    static void forget() {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Kelvane");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kApprovedKey, L"Kelvane");
    }
};

TEST_F(RunValue, SwitchingOnWritesTheQuotedPathAndSwitchingOffRemovesIt) {
    const auto sessionStart = platform::makeSystemSessionStart(kPortable);
    EXPECT_FALSE(sessionStart->isEnabled().value());

    ASSERT_TRUE(sessionStart->enable());
    EXPECT_EQ(regQueryLine(), std::string("\"") + kPortable + "\"");
    EXPECT_TRUE(sessionStart->isEnabled().value());

    ASSERT_TRUE(sessionStart->disable());
    EXPECT_EQ(regQueryLine(), "");
    EXPECT_FALSE(sessionStart->isEnabled().value());
    EXPECT_TRUE(sessionStart->disable()) << "switching off twice is no failure";
}

TEST_F(RunValue, AMovedCopyIsUntickedKeepsTheOldValueUntilSwitchedOnThenWritesItsPath) {
    writeRunValue(L"\"C:\\Users\\Ann\\Downloads\\Kelvane\\Kelvane.exe\"");
    const auto moved = platform::makeSystemSessionStart(kPortable);
    EXPECT_FALSE(moved->isEnabled().value());

    ASSERT_TRUE(moved->disable());
    EXPECT_EQ(regQueryLine(), "\"C:\\Users\\Ann\\Downloads\\Kelvane\\Kelvane.exe\"");

    ASSERT_TRUE(moved->enable());
    EXPECT_EQ(regQueryLine(), std::string("\"") + kPortable + "\"");
    EXPECT_TRUE(moved->isEnabled().value());
}

TEST_F(RunValue, PathsCompareAsWindowsDoesWithOrWithoutQuotes) {
    const auto sessionStart = platform::makeSystemSessionStart(kPortable);
    writeRunValue(L"c:\\users\\ann\\kelvane portable\\KELVANE.EXE");
    EXPECT_TRUE(sessionStart->isEnabled().value());
    writeRunValue(L"\"C:\\Users\\Ann\\Kelvane Portable\\Kelvane.exe\" /minimised");
    EXPECT_TRUE(sessionStart->isEnabled().value());
}

TEST_F(RunValue, SwitchedOffInTaskManagerShowsUntickedAndSwitchingOnClearsIt) {
    const auto sessionStart = platform::makeSystemSessionStart(kPortable);
    ASSERT_TRUE(sessionStart->enable());
    writeApproval(0x03);
    EXPECT_FALSE(sessionStart->isEnabled().value());
    writeApproval(0x02);
    EXPECT_TRUE(sessionStart->isEnabled().value());

    writeApproval(0x03);
    ASSERT_TRUE(sessionStart->enable());
    EXPECT_TRUE(sessionStart->isEnabled().value());
    ASSERT_TRUE(sessionStart->disable());
    EXPECT_FALSE(approvalExists()) << "Kelvane's own entry goes with its value";
}

}  // namespace
}  // namespace kelvane::testing
