#pragma once

// Small pieces the POSIX file-system code shares: descriptors, errors, path parts and
// the temporary files beside a file.
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Result.h"

namespace kelvane::platform::posix {

Error systemError(const std::string& what, const std::string& path, int code = errno);

// Closes a descriptor on every way out of a scope.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void adopt(int fd) {
        reset();
        fd_ = fd;
    }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }
    // Closes now and reports the error that close() may carry (NFS reports write
    // failures there).
    int closeChecked() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_;
};

std::string folderOf(const std::string& path);
std::string baseOf(std::string_view path);
FileTime modifiedOf(const struct stat& info);

// Temporary files are ours by name; one whose writer is gone is left over from a
// killed writer and is removed before the next write into that folder.
void removeStaleTemporaries(const std::string& folder, const std::string& targetName);

// A fresh temporary file in the folder, named after finalName; its path, or an error.
Result<std::string> createTemporaryFor(const std::string& folder, const std::string& finalName,
                                       mode_t mode, Descriptor& file);

// A folder of the user's under an XDG base: $VARIABLE when it is absolute (a relative one
// would depend on where the program was started), else $HOME/underHome; empty when
// neither is known.
std::string xdgFolder(const char* variable, const char* underHome);

Error sourceChanged(const std::string& source);

// Writes all of `bytes`, as many calls as it takes; `what` and `path` word a failure.
Status writeAll(int fd, std::string_view bytes, const std::string& what, const std::string& path);

// Copies byte ranges at their own offsets, in the kernel where the two file systems
// allow it, else through a buffer. `source` names the file copied from in errors.
class RangeCopier {
  public:
    RangeCopier(int from, int to, const std::string& source)
        : from_(from), to_(to), source_(source) {}

    // Copies [at, end) and moves `at` to its end.
    Status copy(off_t& at, off_t end);

  private:
    Status copyThroughBuffer(off_t& at, off_t end);

    int from_;
    int to_;
    const std::string& source_;
    bool kernelCopy_ = true;
    std::vector<char> buffer_;
};

// Makes a rename into the folder durable; not every system allows it, which is no failure.
void flushFolder(const std::string& folder);

}  // namespace kelvane::platform::posix
