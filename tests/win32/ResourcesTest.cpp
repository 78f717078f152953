#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KelvaneProcess.h"

namespace kelvane::testing {
namespace {

// Kelvane.exe opened as data, for what Explorer and the loader read from it.
class Resources : public ::testing::Test {
  protected:
    HMODULE program = ::LoadLibraryExW(kelvaneExecutable().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ~Resources() override { ::FreeLibrary(program); }

    std::string resource(LPCWSTR type, LPCWSTR name) const {
        HRSRC found = ::FindResourceW(program, name, type);
        if (found == nullptr) {
            return {};
        }
        const auto* bytes =
            static_cast<const char*>(::LockResource(::LoadResource(program, found)));
        return std::string(bytes, ::SizeofResource(program, found));
    }
};

TEST_F(Resources, TheVersionIs145) {
    ASSERT_NE(program, nullptr);
    const std::wstring path = kelvaneExecutable().wstring();
    std::vector<char> info(::GetFileVersionInfoSizeW(path.c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(
        ::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), 1);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), 45);
    wchar_t* product = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                                 reinterpret_cast<void**>(&product), &size));
    EXPECT_EQ(std::wstring(product), L"1.45");
}

TEST_F(Resources, TheManifestAsksForCommonControls6PerMonitorDpiAndNoElevation) {
    const std::string manifest = resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    for (const char* wanted :
         {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "PerMonitorV2",
          "level=\"asInvoker\"", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
    }
}

// Windows reads the setting only in its 2016 namespace and only among the windows settings.
TEST_F(Resources, TheManifestDeclaresLongPathAwareness) {
    const std::string manifest = resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    const std::string declaration =
        "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
        "true</longPathAware>";
    const std::size_t at = manifest.find(declaration);
    ASSERT_NE(at, std::string::npos) << manifest;
    EXPECT_LT(manifest.find("<windowsSettings>"), at);
    EXPECT_GT(manifest.find("</windowsSettings>"), at);
}

TEST_F(Resources, TheIconHasEightSizes) {
    const std::string group = resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), 6u);
    // An icon group starts with reserved, type and the number of images, 16 bits each.
    EXPECT_EQ(static_cast<unsigned char>(group[4]), 8);
}

}  // namespace
}  // namespace kelvane::testing
