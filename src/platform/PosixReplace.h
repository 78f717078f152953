#pragma once

#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Result.h"

namespace kelvane::platform::posix {

// The file at finalPath (no symbolic link) replaced by a copy of source, as
// FileSystem::replaceWithCopy describes.
Result<CopiedTimes> replaceWithCopyOf(const std::string& source, const std::string& finalPath,
                                      const ReplaceTerms& terms,
                                      const CopyProgressHandler& progress);

// The file at finalPath (no symbolic link) replaced by, or created with, `content`, so that
// a crash leaves the old content or the new. It keeps an existing file's permissions.
Status replaceWithText(const std::string& finalPath, std::string_view content);

}  // namespace kelvane::platform::posix
