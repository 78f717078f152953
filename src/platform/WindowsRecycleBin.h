// Where a replaced copy goes on Windows: the Recycle Bin, or a hidden folder beside the
// file on a volume without one.
#pragma once

#include <string>

#include "platform/FileSystem.h"
#include "platform/Result.h"

namespace kelvane::platform::windows {

// Keeps the content at `target` before a replacement takes its place, under the name
// replacedCopyName gives. On a volume with a Recycle Bin, a second name of the target
// (a hard link, or a copy where the volume has none) is made beside it and recycled, so
// Restore puts it back beside the file under that name; the target's own name is never
// moved, so it holds the old content until the install and the new one after. On a
// removable drive, a network share, or where recycling fails, the second name is made in
// the hidden folder kReplacedFolderName beside the target, which keeps the newest
// kKeptPerFile of each file.
class ReplacedCopyKeeper {
  public:
    // `inFolderOnly` keeps every copy in the folder, as on a volume without a Recycle Bin.
    explicit ReplacedCopyKeeper(std::wstring target, bool inFolderOnly = false)
        : target_(std::move(target)), inFolderOnly_(inFolderOnly) {}

    // Removes the names a killed replacement left that still are the target itself (made
    // before its install): they hold nothing the target does not, and as extra names they
    // would make the next replacement refuse a target with hard links.
    void clearLeftovers();
    // Keeps the target's present content; any failure leaves the target as it was.
    Result<KeptCopy> keep();
    // After a failed install: the copy kept in the folder goes again (the target still
    // holds that content). One in the Recycle Bin stays there.
    void drop();

  private:
    Result<KeptCopy> keepInFolder();

    std::wstring target_;
    bool inFolderOnly_;
    std::wstring keptInFolder_;
};

// True when every name of the target's file other than the target's own lies in a Recycle
// Bin: what a replacement killed between recycling its link and its install leaves. Such a
// target is no user's hard link, and replacing it leaves the old content in the bin.
bool otherNamesAreRecycled(const std::wstring& target);

}  // namespace kelvane::platform::windows
