#include "win32/OneInstance.h"

#include <cstdint>
#include <cstdio>

namespace kelvane::win32 {
namespace {

// FNV-1a over the UTF-16 code units: stable across runs and builds.
std::uint64_t hashOf(const std::wstring& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : text) {
        hash ^= static_cast<std::uint16_t>(unit);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::wstring lowerCase(std::wstring text) {
    ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring currentUser() {
    wchar_t user[257] = {};
    DWORD size = 257;
    return ::GetUserNameW(user, &size) ? std::wstring(user) : std::wstring();
}

}  // namespace

std::wstring OneInstance::mutexName(const std::wstring& user, const std::wstring& executablePath) {
    // Windows paths and user names ignore letter case.
    const std::uint64_t hash = hashOf(lowerCase(user) + L"|" + lowerCase(executablePath));
    wchar_t digits[17] = {};
    std::swprintf(digits, 17, L"%016llx", static_cast<unsigned long long>(hash));
    return L"Local\\Kelvane-" + std::wstring(digits);
}

OneInstance::OneInstance(const std::wstring& executablePath) {
    mutex_ = ::CreateMutexW(nullptr, FALSE, mutexName(currentUser(), executablePath).c_str());
    const DWORD error = ::GetLastError();
    if (mutex_ != nullptr) {
        anotherIsRunning_ = error == ERROR_ALREADY_EXISTS;
    } else if (error == ERROR_ACCESS_DENIED) {
        anotherIsRunning_ = true;  // it exists, made by a copy running with other rights
    } else {
        warning_ = "Kelvane could not make sure that only one copy of it runs (system error " +
                   std::to_string(error) + ").";
    }
}

OneInstance::~OneInstance() {
    if (mutex_ != nullptr) {
        ::CloseHandle(mutex_);
    }
}

}  // namespace kelvane::win32
