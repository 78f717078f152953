#include "win32/OneInstance.h"

#include <gtest/gtest.h>

namespace kelvane::win32 {
namespace {

TEST(OneInstanceName, LivesInTheSessionNamespaceAndIgnoresLetterCase) {
    const std::wstring name = OneInstance::mutexName(L"Ann", L"C:\\Tools\\Kelvane.exe");
    EXPECT_EQ(name.rfind(L"Local\\Kelvane-", 0), 0u);
    EXPECT_EQ(name.size(), std::wstring(L"Local\\Kelvane-").size() + 16);
    EXPECT_EQ(name, OneInstance::mutexName(L"ANN", L"c:\\tools\\KELVANE.EXE"));
}

TEST(OneInstanceName, DiffersForAnotherUserOrAnotherCopy) {
    const std::wstring name = OneInstance::mutexName(L"Ann", L"C:\\Tools\\Kelvane.exe");
    EXPECT_NE(name, OneInstance::mutexName(L"Bob", L"C:\\Tools\\Kelvane.exe"));
    EXPECT_NE(name, OneInstance::mutexName(L"Ann", L"D:\\Sync\\Kelvane.exe"));
}

TEST(OneInstanceGuard, TheSecondGuardForOnePathSeesTheFirst) {
    const std::wstring path = L"C:\\Guard\\Test\\Kelvane.exe";
    OneInstance first(path);
    EXPECT_FALSE(first.anotherIsRunning());
    EXPECT_TRUE(first.warning().empty());
    {
        OneInstance second(path);
        EXPECT_TRUE(second.anotherIsRunning());
    }
    OneInstance elsewhere(L"C:\\Guard\\Other\\Kelvane.exe");
    EXPECT_FALSE(elsewhere.anotherIsRunning());
}

}  // namespace
}  // namespace kelvane::win32
