#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/FileSystem.h"

namespace kelvane::testing {

// The real file system with hooks, so a test can make one operation fail or change the
// world between two steps of a pass.
class FaultyFileSystem final : public platform::FileSystem {
  public:
    FaultyFileSystem();

    // Runs just before each copy, with source and target.
    std::function<void(const std::string&, const std::string&)> beforeCopy;
    // Runs just after each copy that succeeded, with the target, and the copy then
    // reports the target's time as read back afterwards: so a test can play a file system
    // that keeps times its own way (cut, rounded, or not at all).
    std::function<void(const std::string&)> afterCopy;
    // Copies onto these targets fail with the reason given, as the system would give it,
    // and leave the target as it was.
    std::map<std::string, std::string> failingCopies;
    // Where copies say the content they replaced went, in place of the system's answer.
    std::optional<platform::KeptCopy> keptAs;
    // What the last copy was asked to respect.
    std::optional<platform::ReplaceTerms> lastTerms;
    // Paths whose time cannot be set, as for a file of another user.
    std::set<std::string> fixedTimes;
    // Paths whose look fails as if a folder on the way could not be searched.
    std::set<std::string> unsearchable;
    // Paths that count as lying on a volume with two-second times.
    std::set<std::string> coarseTimes;
    // Looks report no file identity, as some network shares do.
    bool withoutIdentity = false;
    // Number of copies made and of looks at a file, so tests can tell what a pass touched.
    int copies = 0;
    int looks = 0;

    std::string workingPath(std::string_view typedPath) const override;
    std::string fileName(std::string_view workingPath) const override;
    platform::Result<std::optional<platform::FileStamp>> findOrdinaryFile(
        const std::string& path) override;
    platform::FileIdentity identityOf(const std::string& path) override;
    bool hasCoarseTimes(const std::string& path) override;
    platform::Result<platform::CopiedTimes> replaceWithCopy(
        const std::string& source, const std::string& target, const platform::ReplaceTerms& terms,
        const platform::CopyProgressHandler& progress = {}) override;
    platform::Result<bool> haveSameContent(const std::string& first, const std::string& second,
                                           const std::function<bool()>& keepGoing = {}) override;
    platform::Status setModifiedTime(const std::string& path, platform::FileTime expected,
                                     platform::FileTime wanted) override;

  private:
    std::unique_ptr<platform::FileSystem> real_;
};

}  // namespace kelvane::testing
