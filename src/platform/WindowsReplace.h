// The safe replace on Windows: the steps replaceSafely runs, for a copy of a file and for
// the settings file's write.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Result.h"

namespace kelvane::platform::windows {

// Both take full system paths (see systemPath); a symbolic link as target is resolved
// first, so the link stays and the file it points to is replaced. `systemReplace` off
// puts the copy in place by a plain move, as on file systems without ReplaceFileW;
// `keepInFolderOnly` keeps replaced copies as on a volume without a Recycle Bin.
struct ReplaceWay {
    bool systemReplace = true;
    bool keepInFolderOnly = false;
};
Result<CopiedTimes> replaceWithCopyOf(const std::wstring& source, const std::wstring& target,
                                      const ReplaceTerms& terms, ReplaceWay way,
                                      const CopyProgressHandler& progress);
Status writeAtomically(const std::wstring& target, std::string_view content);

// The system's file system keeping every replaced copy in the folder beside its file, as
// on a removable drive: for tests on a machine whose drives all have a Recycle Bin.
std::unique_ptr<FileSystem> makeFileSystemKeepingInFolders();

}  // namespace kelvane::platform::windows
