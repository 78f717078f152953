#include "support/TempFolder.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kelvane::testing {
namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = fs::temp_directory_path() / ("kelvane-test-" + std::to_string(device()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    // Step by hand: a range-for would throw from a destructor on the first entry that
    // cannot be read.
    for (fs::recursive_directory_iterator entry(path_, ignored), end; !ignored && entry != end;
         entry.increment(ignored)) {
        if (entry->is_directory(ignored)) {
            fs::permissions(entry->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::remove_all(path_, ignored);
}

std::string TempFolder::file(const std::string& relative) const {
    return (path_ / relative).generic_string();
}

fs::path TempFolder::makeFolder(const std::string& relative) const {
    fs::create_directories(path_ / relative);
    return path_ / relative;
}

std::vector<std::string> TempFolder::entries(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_ / relative)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

#ifndef _WIN32

namespace {

bool liesInTheTemporaryFolder(const char* path) {
    const std::string temporary = fs::temp_directory_path().lexically_normal().string();
    const std::string given = path == nullptr ? "" : fs::path(path).lexically_normal().string();
    return given.size() > temporary.size() && given.compare(0, temporary.size(), temporary) == 0;
}

// A pass keeps what it replaces in the desktop's trash, which lies in the data home: every
// test process, and every program it starts, has a temporary one, so no test ever fills
// the user's own trash. A program started by a test keeps the one it was given.
class TemporaryDataHome {
  public:
    TemporaryDataHome() {
        if (liesInTheTemporaryFolder(std::getenv("XDG_DATA_HOME"))) {
            return;
        }
        folder_.emplace();
        ::setenv("XDG_DATA_HOME", folder_->makeFolder("data").c_str(), 1);
    }

  private:
    std::optional<TempFolder> folder_;
};

const TemporaryDataHome temporaryDataHome;

}  // namespace

#endif

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

#ifdef _WIN32

// The C library's times on Windows stop at whole seconds; FILETIME keeps 100 ns steps.
namespace {

constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;

HANDLE openForTimes(const std::string& path, DWORD access) {
    return ::CreateFileW(fs::path(path).c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

void setModified(const std::string& path, std::int64_t seconds, std::int32_t nanoseconds) {
    const auto ticks =
        static_cast<std::uint64_t>(kUnixEpochTicks + seconds * 10'000'000 + nanoseconds / 100);
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE file = openForTimes(path, FILE_WRITE_ATTRIBUTES);
    const bool set = file != INVALID_HANDLE_VALUE && ::SetFileTime(file, nullptr, nullptr, &time);
    ::CloseHandle(file);
    if (!set) {
        throw std::runtime_error("cannot set the time of " + path);
    }
}

std::chrono::nanoseconds modifiedSinceEpoch(const std::string& path) {
    HANDLE file = openForTimes(path, FILE_READ_ATTRIBUTES);
    FILETIME time{};
    const bool read = file != INVALID_HANDLE_VALUE && ::GetFileTime(file, nullptr, nullptr, &time);
    ::CloseHandle(file);
    if (!read) {
        throw std::runtime_error("cannot read the time of " + path);
    }
    const auto ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return std::chrono::nanoseconds((ticks - kUnixEpochTicks) * 100);
}

#else

void setModified(const std::string& path, std::int64_t seconds, std::int32_t nanoseconds) {
    const auto since = std::chrono::seconds(seconds) + std::chrono::nanoseconds(nanoseconds);
    const auto system = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
    fs::last_write_time(fs::path(path), std::chrono::file_clock::from_sys(system));
}

std::chrono::nanoseconds modifiedSinceEpoch(const std::string& path) {
    const auto system = std::chrono::file_clock::to_sys(fs::last_write_time(fs::path(path)));
    return std::chrono::duration_cast<std::chrono::nanoseconds>(system.time_since_epoch());
}

#endif

void writeFileAt(const std::string& path, const std::string& content, std::int64_t seconds,
                 std::int32_t nanoseconds) {
    writeFile(path, content);
    setModified(path, seconds, nanoseconds);
}

}  // namespace kelvane::testing
