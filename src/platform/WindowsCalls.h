// The Windows calls every part of the file system shares: handles, reasons, path parts
// and times. Only the platform's own Windows files include it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cwctype>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Result.h"
#include "platform/WideText.h"

namespace kelvane::platform::windows {

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns
inline constexpr std::int64_t kUnixEpochTicks =
    116'444'736'000'000'000;  // 1601-01-01 to 1970-01-01

inline std::string describe(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    ::LocalFree(buffer);
    while (!text.empty() && (std::iswspace(text.back()) != 0 || text.back() == L'.')) {
        text.pop_back();
    }
    return text.empty() ? "system error " + std::to_string(code) : toUtf8(text);
}

inline Error systemError(const char* what, const std::wstring& path, DWORD code) {
    return Error{std::string(what) + " " + toUtf8(path) + ": " + describe(code)};
}

// The reason for the call that just failed. Takes no argument that needs building, so
// nothing runs between the failure and the look at its code.
inline Error lastError(const char* what, const std::wstring& path) {
    const DWORD code = ::GetLastError();
    return systemError(what, path, code);
}

// ---- Paths -----------------------------------------------------------------------

inline bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Where the last component starts: after the last separator, or after a drive prefix
// such as "C:" in "C:notes.txt".
inline std::size_t lastComponentStart(std::wstring_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) {
            return i;
        }
    }
    const bool drivePrefix = path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]) != 0;
    return drivePrefix ? 2 : 0;
}

// The folder part of a path with its trailing separator ("C:\dir\", "C:", or ""), so a
// name appended to it lands in the same folder.
inline std::wstring folderPrefixOf(const std::wstring& path) {
    return path.substr(0, lastComponentStart(path));
}

inline std::wstring baseNameOf(const std::wstring& path) {
    return path.substr(lastComponentStart(path));
}

// The longest path the system takes, in UTF-16 units.
inline constexpr std::size_t kLongestPath = 32'767;

// A path of MAX_PATH characters or more reaches the system only with the "\\?\" prefix,
// which also turns off the system's handling of "." and "..", so the full path is made
// first. Shorter paths, and those that already carry the prefix, stay as they are.
inline std::wstring systemPath(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) {
        return path;
    }
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0 || size >= kLongestPath) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
    }
    return L"\\\\?\\" + full;
}

// ---- Handles and times -------------------------------------------------------------

// Closes a handle on every way out of a scope.
class Handle {
  public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.handle_) {
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    Handle& operator=(Handle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void reset() {
        if (valid()) {
            ::CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }
    // Closes now and says whether the system accepted it.
    bool closeChecked() {
        const BOOL closed = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

  private:
    HANDLE handle_;
};

inline Handle openForAttributes(const std::wstring& path, DWORD access) {
    // Backup semantics let a folder be opened too, so it is told apart from a failure.
    return Handle(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

inline FileTime toFileTime(const FILETIME& stamp) {
    const auto ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(stamp.dwHighDateTime) << 32) |
                                  stamp.dwLowDateTime) -
        kUnixEpochTicks;
    std::int64_t seconds = ticks / kTicksPerSecond;
    std::int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {  // floor, so times before 1970 keep a positive nanosecond part
        rest += kTicksPerSecond;
        --seconds;
    }
    return FileTime{seconds, static_cast<std::int32_t>(rest * 100)};
}

inline std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

inline bool sameFiletime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

inline bool processIsAlive(long pid) {
    if (pid <= 0) {
        return false;
    }
    Handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    if (!process.valid()) {
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but someone else's
    }
    DWORD exitCode = 0;
    return ::GetExitCodeProcess(process.get(), &exitCode) && exitCode == STILL_ACTIVE;
}

// A read-only file cannot be deleted, and our temporary files may carry the attribute.
inline void removeFile(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

// A symbolic link as target keeps the link: the file it points to is replaced.
inline Result<std::wstring> resolveTarget(const std::wstring& target) {
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return target;
    }
    Handle file = openForAttributes(target, FILE_READ_ATTRIBUTES);
    if (!file.valid()) {
        return lastError("Cannot resolve", target);
    }
    std::vector<wchar_t> resolved(MAX_PATH + 1);
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(file.get(), resolved.data(),
                                                         static_cast<DWORD>(resolved.size()), 0);
        if (length == 0) {
            return lastError("Cannot resolve", target);
        }
        if (length < resolved.size()) {
            return std::wstring(resolved.data(), length);
        }
        resolved.resize(length + 1);
    }
}

// One look at the file behind a path, or nothing when it cannot be opened (the reason is
// then the last error).
inline std::optional<BY_HANDLE_FILE_INFORMATION> lookAt(const std::wstring& path) {
    Handle file = openForAttributes(path, FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) {
        return std::nullopt;
    }
    return info;
}

// True when both looks show one file under two names.
inline bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace kelvane::platform::windows
