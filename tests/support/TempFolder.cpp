#include "support/TempFolder.h"

#include <algorithm>
#include <fstream>
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
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
        if (entry.is_directory(ignored)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
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

void writeFileAt(const std::string& path, const std::string& content, std::int64_t seconds,
                 std::int32_t nanoseconds) {
    writeFile(path, content);
    setModified(path, seconds, nanoseconds);
}

}  // namespace kelvane::testing
