#include <windows.h>
// After windows.h, which it needs.
#include <oleacc.h>

#include <gtest/gtest.h>

#include <string>

#include "win32/ControlIds.h"
#include "win32/Win32Face.h"

namespace kelvane::win32 {
namespace {

// MinGW's uuid and oleacc libraries both define IID_IAccessible; take neither.
constexpr IID kIAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

bool runningUnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// What a screen reader asks of a control: its name and its description.
struct Spoken {
    std::wstring name;
    std::wstring description;
};

Spoken spokenFor(HWND control) {
    Spoken spoken;
    IAccessible* accessible = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), kIAccessible,
                                            reinterpret_cast<void**>(&accessible)))) {
        return spoken;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (accessible->get_accName(self, &text) == S_OK && text != nullptr) {
        spoken.name = text;
        ::SysFreeString(text);
    }
    text = nullptr;
    if (accessible->get_accDescription(self, &text) == S_OK && text != nullptr) {
        spoken.description = text;
        ::SysFreeString(text);
    }
    accessible->Release();
    return spoken;
}

class ScreenReaderView : public ::testing::Test {
  protected:
    ScreenReaderView() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ScreenReaderView() override { ::CoUninitialize(); }

    HWND control(int id) const {
        return ::GetDlgItem(::FindWindowW(kMainWindowClass, nullptr), id);
    }
    std::wstring nameOf(int id) const { return spokenFor(control(id)).name; }
};

TEST_F(ScreenReaderView, LabelsAndButtonsAreNamedByTheirCaptions) {
    Win32Face window;
    EXPECT_EQ(nameOf(IDC_SyncNow), L"Sync Now");
    EXPECT_EQ(nameOf(IDC_AutoSync), L"Auto Sync");
    EXPECT_EQ(nameOf(IDC_Help), L"Help");
    EXPECT_EQ(nameOf(IDC_HideToTray), L"Hide to tray");
    EXPECT_EQ(nameOf(IDC_LastSync), L"NIL");
    EXPECT_EQ(nameOf(IDC_AutoSyncBadge), L" OFF ");
    EXPECT_EQ(nameOf(IDC_LastSyncCaption), L"Latest Sync:");
}

// The names come from the system's annotation service; Wine 8's oleacc has it only as a
// stub (SetHwndPropStr does nothing), so this check needs a real Windows.
TEST_F(ScreenReaderView, ControlsWithoutATellingCaptionHaveTheirOwnNames) {
    if (runningUnderWine()) {
        GTEST_SKIP() << "Wine's oleacc does not keep annotated names";
    }
    Win32Face window;
    for (int slot = 1; slot <= 3; ++slot) {
        const std::wstring file = L"File" + std::to_wstring(slot);
        EXPECT_EQ(nameOf(slotControlId(slot, SlotControl::Tick)), file + L" selected");
        EXPECT_EQ(nameOf(slotControlId(slot, SlotControl::Path)), file + L" path");
        EXPECT_EQ(nameOf(slotControlId(slot, SlotControl::Browse)), L"Browse for " + file);
    }
    EXPECT_EQ(nameOf(IDC_Interval), L"Sync interval in seconds");
    EXPECT_EQ(spokenFor(control(IDC_LastSync)).description, L"Latest sync");
    EXPECT_EQ(spokenFor(control(IDC_AutoSyncBadge)).description, L"Auto sync state");
}

}  // namespace
}  // namespace kelvane::win32
