#pragma once

#include <optional>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Result.h"

namespace kelvane::platform::posix {

// Keeps the content a copy is about to replace where the desktop keeps deleted files:
// the home trash when the file lies on its file system, else the trash at the top of the
// file's own volume, else a hidden folder beside the file. The kept copy is a second
// name of the old file where the volume has hard links (no data is copied), a copy
// otherwise, and is in place before the new content takes the file's place; the trash
// then lists it with its original place, and its Restore puts it back there. Of one
// file's copies that Kelvane kept, the newest ten stay.
class ReplacedCopyKeeper {
  public:
    explicit ReplacedCopyKeeper(std::string target);

    // A keep killed between its link and the replacement leaves the target with a second
    // name in the trash: that name goes, so the target is again a file of one name.
    void clearInterruptedKeep();
    Result<KeptCopy> keep();
    // Takes the kept copy back after the replacement failed: the target still holds it.
    void drop();
    // After the replacement: Kelvane's own copies of this file beyond the newest ten go.
    void removeOldCopies();

    // Where copies of `target` are kept, when there is such a place: a trash folder
    // (holding files/ and info/) or the hidden folder beside it; made when `make` is set.
    struct Bin {
        bool isTrash = true;
        std::string root;
        std::string topdir;  // a volume's trash: its volume's top; empty for the home trash
    };
    static std::optional<Bin> binFor(const std::string& target, bool make);

  private:
    Result<KeptCopy> keepInTrash(const Bin& bin);
    Result<KeptCopy> keepInFolder(const Bin& bin);
    Status putSecondName(const std::string& at);
    std::string trashInfoFor(const Bin& bin) const;

    std::string target_;
    std::optional<Bin> bin_;
    std::string keptFile_;
    std::string keptInfo_;
};

}  // namespace kelvane::platform::posix
