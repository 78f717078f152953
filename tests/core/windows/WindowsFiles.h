#pragma once

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/WideText.h"

namespace kelvane::testing {

// Test-side access to what std::filesystem does not show: attributes, exact times and
// handles with chosen share modes.

using platform::toUtf8;
using platform::toWide;

inline DWORD attributesOf(const std::string& path) {
    return ::GetFileAttributesW(toWide(path).c_str());
}

inline void addAttributes(const std::string& path, DWORD attributes) {
    if (!::SetFileAttributesW(toWide(path).c_str(), attributesOf(path) | attributes)) {
        throw std::runtime_error("cannot set attributes of " + path);
    }
}

// Clears read-only again, so the temporary folder can be removed.
inline void clearAttributes(const std::filesystem::path& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

inline FILETIME writeTimeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(toWide(path).c_str(), GetFileExInfoStandard, &data)) {
        throw std::runtime_error("cannot look at " + path);
    }
    return data.ftLastWriteTime;
}

// Sets both times through one handle; false when the system refuses.
inline bool setTimes(const std::string& path, const FILETIME* created, const FILETIME* modified) {
    HANDLE file = ::CreateFileW(toWide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool set =
        file != INVALID_HANDLE_VALUE && ::SetFileTime(file, created, nullptr, modified);
    ::CloseHandle(file);
    return set;
}

inline ULONGLONG ticksOf(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline void setWriteTime(const std::string& path, ULONGLONG ticks) {
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (!setTimes(path, nullptr, &time)) {
        throw std::runtime_error("cannot set the time of " + path);
    }
}

// A file held open by "another application" for as long as the object lives.
class HeldOpen {
  public:
    HeldOpen(const std::string& path, DWORD access, DWORD share)
        : handle_(::CreateFileW(toWide(path).c_str(), access, share, nullptr, OPEN_EXISTING, 0,
                                nullptr)) {
        if (handle_ == INVALID_HANDLE_VALUE) {
            throw std::runtime_error("cannot open " + path);
        }
    }
    ~HeldOpen() { release(); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

    void release() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_;
};

}  // namespace kelvane::testing
#endif
