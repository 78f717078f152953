// Starting with Windows: the "Kelvane" value of the user's Run key, which Explorer reads
// at every log-on, and Task Manager's switch for it under StartupApproved.

#include <windows.h>

#include <array>
#include <optional>
#include <string_view>

#include "platform/SessionStart.h"
#include "platform/WideText.h"

namespace kelvane::platform {
namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kApprovedKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr const wchar_t* kValueName = L"Kelvane";
constexpr const char* kRunValueText =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Kelvane";

Error registryError(const std::string& what, LSTATUS code) {
    wchar_t* message = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring reason = message != nullptr ? message : L"error " + std::to_wstring(code);
    ::LocalFree(message);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r')) {
        reason.pop_back();
    }
    return Error{what + " " + kRunValueText + ": " + toUtf8(reason)};
}

// The program a Run value starts: the quoted path, or the whole text up to ".exe".
std::wstring programOf(const std::wstring& command) {
    if (!command.empty() && command[0] == L'"') {
        const std::size_t close = command.find(L'"', 1);
        return command.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    return command;
}

bool samePath(const std::wstring& one, const std::wstring& other) {
    return ::CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                                  static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

// Task Manager marks a disabled entry with an odd first byte (03 00 00 ...), an enabled
// one with an even one; no value at all counts as enabled.
bool disabledByTaskManager() {
    std::array<BYTE, 64> data{};
    DWORD size = data.size();
    const LSTATUS read = ::RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, kValueName,
                                        RRF_RT_REG_BINARY, nullptr, data.data(), &size);
    return read == ERROR_SUCCESS && size >= 1 && (data[0] & 1) != 0;
}

// The Run value's text, or nothing when there is none.
Result<std::optional<std::wstring>> readRunValue() {
    // A REG_EXPAND_SZ value comes back expanded, as Explorer would run it.
    constexpr DWORD kTypes = RRF_RT_REG_SZ;
    DWORD size = 0;
    LSTATUS read =
        ::RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName, kTypes, nullptr, nullptr, &size);
    std::wstring command(size / sizeof(wchar_t) + 1, L'\0');
    if (read == ERROR_SUCCESS) {
        size = static_cast<DWORD>(command.size() * sizeof(wchar_t));
        read = ::RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName, kTypes, nullptr,
                              command.data(), &size);
    }
    if (read == ERROR_FILE_NOT_FOUND) {
        return std::optional<std::wstring>();
    }
    if (read != ERROR_SUCCESS) {
        return registryError("Cannot read", read);
    }
    command.resize(wcsnlen(command.c_str(), command.size()));
    return std::optional<std::wstring>(command);
}

class WindowsSessionStart final : public SessionStart {
  public:
    explicit WindowsSessionStart(std::string executable) : executable_(toWide(executable)) {}

    Result<bool> isEnabled() override {
        const Result<bool> named = namesThisExecutable();
        if (!named) {
            return named;
        }
        return named.value() && !disabledByTaskManager();
    }

    Status enable() override {
        const std::wstring command = L"\"" + executable_ + L"\"";
        const LSTATUS written =
            ::RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kValueName, REG_SZ, command.c_str(),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        if (written != ERROR_SUCCESS) {
            return registryError("Cannot write", written);
        }
        // Switched off in Task Manager earlier: choosing it here switches it on again.
        if (disabledByTaskManager()) {
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kApprovedKey, kValueName);
        }
        return {};
    }

    Status disable() override {
        const Result<bool> named = namesThisExecutable();
        if (named && !named.value()) {
            return {};  // another copy's value, or none: not ours to take out
        }
        const LSTATUS removed = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kValueName);
        if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
            return registryError("Cannot remove", removed);
        }
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kApprovedKey, kValueName);
        return {};
    }

  private:
    Result<bool> namesThisExecutable() const {
        const Result<std::optional<std::wstring>> command = readRunValue();
        if (!command) {
            return Error{command.reason()};
        }
        return command.value() && samePath(programOf(*command.value()), executable_);
    }

    std::wstring executable_;
};

}  // namespace

std::unique_ptr<SessionStart> makeSystemSessionStart(std::string executable) {
    return std::make_unique<WindowsSessionStart>(std::move(executable));
}

}  // namespace kelvane::platform
