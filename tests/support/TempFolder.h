#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvane::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder, as text with "/" separators.
    std::string file(const std::string& relative) const;
    std::filesystem::path makeFolder(const std::string& relative) const;
    // Names of every entry in a sub-folder (or the folder itself), hidden ones included.
    std::vector<std::string> entries(const std::string& relative = "") const;

  private:
    std::filesystem::path path_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);

// Last-modified times as seconds since 1970 (UTC) with a nanosecond part.
void setModified(const std::string& path, std::int64_t seconds, std::int32_t nanoseconds = 0);
std::chrono::nanoseconds modifiedSinceEpoch(const std::string& path);

// A file with given content and time, in one call.
void writeFileAt(const std::string& path, const std::string& content, std::int64_t seconds,
                 std::int32_t nanoseconds = 0);

}  // namespace kelvane::testing
