#pragma once

#include <windows.h>

#include <string>

namespace kelvane::win32 {

// Keeps a second copy of the same executable, started by the same user in the same
// session, from running beside the first: a named mutex in the session's namespace, its
// name a hash of the user and the executable's path. The mutex lives as long as this.
class OneInstance {
  public:
    explicit OneInstance(const std::wstring& executablePath);
    ~OneInstance();
    OneInstance(const OneInstance&) = delete;
    OneInstance& operator=(const OneInstance&) = delete;

    bool anotherIsRunning() const { return anotherIsRunning_; }
    // Why the check could not be made (empty when it was), for the user to read once.
    const std::string& warning() const { return warning_; }

    // "Local\Kelvane-" and sixteen hex digits; the same for the same user and path in
    // any letter case.
    static std::wstring mutexName(const std::wstring& user, const std::wstring& executablePath);

  private:
    HANDLE mutex_ = nullptr;
    bool anotherIsRunning_ = false;
    std::string warning_;
};

}  // namespace kelvane::win32
