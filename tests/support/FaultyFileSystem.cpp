#include "support/FaultyFileSystem.h"

namespace kelvane::testing {

using platform::Result;
using platform::Status;

FaultyFileSystem::FaultyFileSystem() : real_(platform::makeSystemFileSystem()) {}

std::string FaultyFileSystem::workingPath(std::string_view typedPath) const {
    return real_->workingPath(typedPath);
}

std::string FaultyFileSystem::fileName(std::string_view workingPath) const {
    return real_->fileName(workingPath);
}

Result<std::optional<platform::FileStamp>> FaultyFileSystem::findOrdinaryFile(
    const std::string& path) {
    ++looks;
    if (unsearchable.count(path) != 0) {
        return platform::Error{"Permission denied: " + path};
    }
    auto found = real_->findOrdinaryFile(path);
    if (withoutIdentity && found && found.value()) {
        found.value()->identity = platform::FileIdentity{};
    }
    return found;
}

platform::FileIdentity FaultyFileSystem::identityOf(const std::string& path) {
    return withoutIdentity ? platform::FileIdentity{} : real_->identityOf(path);
}

bool FaultyFileSystem::hasCoarseTimes(const std::string& path) {
    return coarseTimes.count(path) != 0 || real_->hasCoarseTimes(path);
}

Result<platform::CopiedTimes> FaultyFileSystem::replaceWithCopy(
    const std::string& source, const std::string& target, const platform::ReplaceTerms& terms,
    const platform::CopyProgressHandler& progress) {
    if (beforeCopy) {
        beforeCopy(source, target);
    }
    ++copies;
    lastTerms = terms;
    if (const auto failing = failingCopies.find(target); failing != failingCopies.end()) {
        return platform::Error{failing->second};
    }
    auto copied = real_->replaceWithCopy(source, target, terms, progress);
    if (copied && keptAs) {
        copied.value().kept = *keptAs;
    }
    if (!copied || !afterCopy) {
        return copied;
    }
    afterCopy(target);
    auto look = real_->findOrdinaryFile(target);
    if (!look || !look.value()) {
        return platform::Error{"The copy vanished: " + target};
    }
    copied.value().target = look.value()->modified;
    return copied;
}

Result<bool> FaultyFileSystem::haveSameContent(const std::string& first, const std::string& second,
                                               const std::function<bool()>& keepGoing) {
    return real_->haveSameContent(first, second, keepGoing);
}

Status FaultyFileSystem::setModifiedTime(const std::string& path, platform::FileTime expected,
                                         platform::FileTime wanted) {
    if (fixedTimes.count(path) != 0) {
        return platform::Error{"Operation not permitted: " + path};
    }
    return real_->setModifiedTime(path, expected, wanted);
}

}  // namespace kelvane::testing
