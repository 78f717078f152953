// The file system on Linux and other POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/PieceComparison.h"
#include "platform/SettingsStore.h"
#include "platform/TempNames.h"

namespace kelvane::platform {
namespace {

Error systemError(const std::string& what, const std::string& path, int code = errno) {
    return Error{what + " " + path + ": " + std::strerror(code)};
}

// The running user's home folder as the user database has it; empty when unknown.
std::string homeInUserDatabase() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return {};
    }
    return found->pw_dir;
}

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

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileTime modifiedOf(const struct stat& info) {
    return FileTime{static_cast<std::int64_t>(info.st_mtim.tv_sec),
                    static_cast<std::int32_t>(info.st_mtim.tv_nsec)};
}

// A symbolic link target is replaced behind the link, so the link itself survives.
Result<std::string> resolveTarget(const std::string& target) {
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved) == nullptr) {
        return systemError("Cannot resolve", target);
    }
    return std::string(resolved);
}

bool processIsAlive(long pid) {
    if (pid <= 0) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Temporary files are ours by name; one whose writer is gone is left over from a
// killed pass and is removed before the next copy into that folder.
void removeStaleTemporaries(const std::string& folder, const std::string& targetName) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (isLeftOverTemporary(entry->d_name, targetName, ::getpid(), processIsAlive)) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

Error sourceChanged(const std::string& source) {
    return Error{"The source changed while it was copied: " + source};
}

Error copyStopped(const std::string& source) {
    return Error{"The copy onto a file beside " + source + " was stopped"};
}

// A stretch of a file that holds data; the rest is holes, which read as zeros.
struct DataRange {
    off_t start = 0;
    off_t end = 0;
};

// The first data at or after `at`, or nothing when only a hole follows. A file system
// that cannot tell holes answers as if the whole file were data.
std::optional<DataRange> nextDataRange(int fd, off_t at, off_t size) {
    const off_t start = ::lseek(fd, at, SEEK_DATA);
    if (start < 0) {
        if (errno == ENXIO) {
            return std::nullopt;
        }
        return DataRange{at, size};
    }
    if (start >= size) {
        return std::nullopt;
    }
    const off_t end = ::lseek(fd, start, SEEK_HOLE);
    return DataRange{start, end < 0 || end > size ? size : end};
}

// Copies byte ranges at their own offsets, in the kernel where the two file systems
// allow it, else through a buffer.
class RangeCopier {
  public:
    RangeCopier(int from, int to, const std::string& source)
        : from_(from), to_(to), source_(source) {}

    // Copies [at, end) and moves `at` to its end.
    Status copy(off_t& at, off_t end) {
        while (at < end) {
            if (kernelCopy_) {
                off_t in = at;
                off_t out = at;
                const ssize_t n =
                    ::copy_file_range(from_, &in, to_, &out, static_cast<size_t>(end - at), 0);
                if (n > 0) {
                    at += n;
                    continue;
                }
                if (n == 0) {
                    return sourceChanged(source_);  // it shrank under us
                }
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                    errno != EPERM) {
                    return systemError("Cannot copy", source_);
                }
                kernelCopy_ = false;  // this pair of file systems wants a plain copy
                buffer_.resize(1 << 20);
            }
            if (auto copied = copyThroughBuffer(at, end); !copied) {
                return copied;
            }
        }
        return {};
    }

  private:
    // Plain reads and writes from `at` on; the looks for holes move the source's offset,
    // so both are placed first.
    Status copyThroughBuffer(off_t& at, off_t end) {
        if (::lseek(from_, at, SEEK_SET) != at) {
            return systemError("Cannot read", source_);
        }
        if (::lseek(to_, at, SEEK_SET) != at) {
            return systemError("Cannot write a copy for", source_);
        }
        const auto wanted = std::min<off_t>(end - at, static_cast<off_t>(buffer_.size()));
        const ssize_t got = ::read(from_, buffer_.data(), static_cast<size_t>(wanted));
        if (got < 0 && errno == EINTR) {
            return {};
        }
        if (got < 0) {
            return systemError("Cannot read", source_);
        }
        if (got == 0) {
            return sourceChanged(source_);
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t put =
                ::write(to_, buffer_.data() + written, static_cast<size_t>(got - written));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 0) {
                return systemError("Cannot write a copy for", source_);
            }
            written += put;
        }
        at += got;
        return {};
    }

    int from_;
    int to_;
    const std::string& source_;
    bool kernelCopy_ = true;
    std::vector<char> buffer_;
};

// FAT keeps no holes, and FUSE volumes vary in how they take writes past the end and
// a length set without writing (fusefat refuses the one and garbles the other): there
// the holes are written out as the zeros they read as, as every plain copy does.
bool keepsHoles(int fd) {
    constexpr long kMsdosMagic = 0x4d44;
    constexpr long kExfatMagic = 0x2011BAB0;
    constexpr long kFuseMagic = 0x65735546;
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) {
        return false;
    }
    const long type = static_cast<long>(info.f_type);
    return type != kMsdosMagic && type != kExfatMagic && type != kFuseMagic;
}

// Copies the source's data ranges in chunks, telling `progress` after each; a false
// answer stops the copy. Where the copy's volume keeps holes they are skipped, so they
// stay holes, and count as copied, so the progress still reaches the file's whole size.
Status copyBytes(int from, int to, off_t size, const std::string& source,
                 const CopyProgressHandler& progress) {
    RangeCopier copier(from, to, source);
    const bool skipHoles = keepsHoles(to);
    off_t at = 0;  // everything before it is copied or a hole
    const auto keepGoing = [&] {
        return !progress ||
               progress(static_cast<std::uint64_t>(at), static_cast<std::uint64_t>(size));
    };
    while (at < size) {
        if (!keepGoing()) {
            return copyStopped(source);
        }
        const auto range = skipHoles ? nextDataRange(from, at, size) : DataRange{at, size};
        if (!range) {
            at = size;
            break;
        }
        at = range->start;
        const off_t chunkEnd = std::min<off_t>(range->end, at + static_cast<off_t>(kCopyChunk));
        if (auto copied = copier.copy(at, chunkEnd); !copied) {
            return copied;
        }
    }
    // A copy that ends in a hole gets its length without writing the hole.
    if (skipHoles && ::ftruncate(to, size) != 0) {
        return systemError("Cannot write a copy for", source);
    }
    if (!keepGoing()) {
        return copyStopped(source);
    }
    return {};
}

// FAT volumes keep no permission bits: fusefat answers chmod with ENOSYS, vfat with EPERM
// for bits it cannot store. The copy then keeps the volume's own bits (never wider than
// the 0600 it was made with), which is better than refusing to sync onto such a volume.
bool permissionsUnsupported(int code) {
    return code == ENOSYS || code == EOPNOTSUPP || code == EPERM;
}

bool sameInstant(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A rewrite in place that puts the old last-modified time back (rsync --inplace -t, cp
// --preserve=timestamps) keeps size and time; only the change time, which no program
// can set, tells.
bool unchangedSince(const struct stat& before, const struct stat& after) {
    return before.st_size == after.st_size && sameInstant(before.st_mtim, after.st_mtim) &&
           sameInstant(before.st_ctim, after.st_ctim);
}

// Names of the extended attributes of a file, each ended by a NUL; empty where the file
// system keeps none.
Result<std::vector<char>> extendedAttributeNames(const std::string& path) {
    for (;;) {
        const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
        if (size < 0 && (errno == ENOTSUP || errno == ENOSYS)) {
            return std::vector<char>();
        }
        if (size < 0) {
            return systemError("Cannot read the extended attributes of", path);
        }
        std::vector<char> names(static_cast<std::size_t>(size));
        const ssize_t got = ::listxattr(path.c_str(), names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            return names;
        }
        if (errno != ERANGE) {  // ERANGE: one was added meanwhile; ask again
            return systemError("Cannot read the extended attributes of", path);
        }
    }
}

// One attribute's value; nothing when it was removed meanwhile.
Result<std::optional<std::string>> extendedAttribute(const std::string& path,
                                                     const std::string& name) {
    for (;;) {
        const ssize_t size = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
        if (size < 0 && errno == ENODATA) {
            return std::optional<std::string>();
        }
        if (size < 0) {
            return systemError("Cannot read the extended attribute " + name + " of", path);
        }
        std::string value(static_cast<std::size_t>(size), '\0');
        const ssize_t got = ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return std::optional<std::string>(value);
        }
        if (errno != ERANGE) {
            return systemError("Cannot read the extended attribute " + name + " of", path);
        }
    }
}

// The system sets these namespaces for a new file itself (a security label, say) and
// lets only a privileged process write them.
bool systemMayKeepItsOwn(const std::string& name, int code) {
    const bool privileged = name.rfind("security.", 0) == 0 || name.rfind("trusted.", 0) == 0;
    return privileged && (code == EPERM || code == EACCES || code == ENOTSUP);
}

// The replaced file's extended attributes, its POSIX access control list
// (system.posix_acl_access) among them, set on its replacement.
Status copyExtendedAttributes(const std::string& from, int to) {
    auto names = extendedAttributeNames(from);
    if (!names) {
        return Error{names.reason()};
    }
    const std::vector<char>& list = names.value();
    for (std::size_t at = 0; at < list.size();) {
        const std::string name(list.data() + at);
        at += name.size() + 1;
        auto value = extendedAttribute(from, name);
        if (!value) {
            return Error{value.reason()};
        }
        if (!value.value()) {
            continue;
        }
        const std::string& bytes = *value.value();
        if (::fsetxattr(to, name.c_str(), bytes.data(), bytes.size(), 0) != 0 &&
            !systemMayKeepItsOwn(name, errno)) {
            return systemError("Cannot carry the extended attribute " + name + " of", from);
        }
    }
    return {};
}

// Writes the source into a fresh temporary file beside the target and renames it over
// the target. The temporary file is removed on every failure.
class AtomicReplace {
  public:
    AtomicReplace(std::string source, std::string finalPath, CopyProgressHandler progress)
        : source_(std::move(source)),
          final_(std::move(finalPath)),
          folder_(folderOf(final_)),
          progress_(std::move(progress)) {}
    ~AtomicReplace() {
        if (!temporary_.empty()) {
            ::unlink(temporary_.c_str());
        }
    }
    AtomicReplace(const AtomicReplace&) = delete;
    AtomicReplace& operator=(const AtomicReplace&) = delete;

    Result<CopiedTimes> run();

  private:
    Status openSource(Descriptor& from, struct stat& info);
    Status checkTarget(struct stat& targetInfo);
    Status createTemporary(Descriptor& to);
    Status fill(Descriptor& from, Descriptor& to, const struct stat& sourceInfo,
                const struct stat& targetInfo);
    Status carryOver(Descriptor& to, const struct stat& targetInfo);
    Result<CopiedTimes> install(const struct stat& sourceInfo);

    std::string source_;
    std::string final_;
    std::string folder_;
    std::string temporary_;
    CopyProgressHandler progress_;
};

Status AtomicReplace::openSource(Descriptor& from, struct stat& info) {
    from.adopt(::open(source_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from.valid()) {
        return systemError("Cannot open", source_);
    }
    if (::fstat(from.get(), &info) != 0) {
        return systemError("Cannot read the time of", source_);
    }
    if (!S_ISREG(info.st_mode)) {
        return Error{"Not an ordinary file: " + source_};
    }
    return {};
}

// A target without write permission was made so to protect it, and a target with other
// names (hard links) would be split by the rename: its other names would keep the old
// bytes. Both are refused before anything is written.
Status AtomicReplace::checkTarget(struct stat& targetInfo) {
    if (::stat(final_.c_str(), &targetInfo) != 0) {
        return systemError("Cannot look at", final_);
    }
    // Judged for the effective user, as the rename runs: root may replace a 0444 file.
    if (::faccessat(AT_FDCWD, final_.c_str(), W_OK, AT_EACCESS) != 0) {
        const int code = errno;
        if (code == EACCES || code == EPERM || code == EROFS) {
            return Error{"Cannot replace " + final_ + ": it is read-only for this user (" +
                         std::strerror(code) + ")"};
        }
        return systemError("Cannot look at", final_, code);
    }
    if (!S_ISREG(targetInfo.st_mode)) {
        return Error{"Cannot replace " + final_ + ": it is no longer an ordinary file"};
    }
    if (targetInfo.st_nlink > 1) {
        return Error{"Cannot replace " + final_ +
                     ": it has other names (hard links), which would keep the old content"};
    }
    return {};
}

// Makes a new file of that name in the folder: false when the name is taken.
Result<bool> createBeside(const std::string& folder, const std::string& name, mode_t mode,
                          Descriptor& file) {
    file.adopt(
        ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (file.valid()) {
        return true;
    }
    if (errno != EEXIST) {
        return systemError("Cannot create a file in", folder);
    }
    return false;
}

// A fresh temporary file in the folder, named after finalName; its path, or an error.
Result<std::string> createTemporaryFor(const std::string& folder, const std::string& finalName,
                                       mode_t mode, Descriptor& file) {
    auto made = createUnderFreshName(
        finalName, static_cast<long>(::getpid()),
        [&](const std::string& name) { return createBeside(folder, name, mode, file); });
    if (!made) {
        return Error{made.reason()};
    }
    if (made.value().empty()) {
        return Error{"Cannot find a free temporary name in " + folder};
    }
    return folder + "/" + made.value();
}

Status AtomicReplace::createTemporary(Descriptor& to) {
    auto created = createTemporaryFor(folder_, baseOf(final_), 0600, to);
    if (!created) {
        return Error{created.reason()};
    }
    temporary_ = created.value();
    return {};
}

// What the replaced file carried besides its bytes goes to its replacement: owner and
// group where the system lets this user keep them (only a privileged process may give
// a file away, but an owner may keep a group it belongs to), permissions, and extended
// attributes with the access control list. Permissions come before the access control
// list, which sets the group bits itself.
Status AtomicReplace::carryOver(Descriptor& to, const struct stat& targetInfo) {
    if (::fchown(to.get(), targetInfo.st_uid, targetInfo.st_gid) != 0 &&
        ::fchown(to.get(), static_cast<uid_t>(-1), targetInfo.st_gid) != 0) {
        errno = 0;
    }
    if (::fchmod(to.get(), targetInfo.st_mode & 07777) != 0 && !permissionsUnsupported(errno)) {
        return systemError("Cannot set permissions on a copy in", folder_);
    }
    return copyExtendedAttributes(final_, to.get());
}

Status AtomicReplace::fill(Descriptor& from, Descriptor& to, const struct stat& sourceInfo,
                           const struct stat& targetInfo) {
    if (auto copied = copyBytes(from.get(), to.get(), sourceInfo.st_size, source_, progress_);
        !copied) {
        return copied;
    }
    struct stat after {};
    if (::fstat(from.get(), &after) != 0 || !unchangedSince(sourceInfo, after)) {
        return sourceChanged(source_);
    }
    if (auto carried = carryOver(to, targetInfo); !carried) {
        return carried;
    }
    const struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    if (::futimens(to.get(), times) != 0) {
        return systemError("Cannot set the time of a copy in", folder_);
    }
    if (::fsync(to.get()) != 0) {
        return systemError("Cannot flush a copy in", folder_);
    }
    if (to.closeChecked() != 0) {
        return systemError("Cannot finish a copy in", folder_);
    }
    return {};
}

Result<CopiedTimes> AtomicReplace::install(const struct stat& sourceInfo) {
    if (::rename(temporary_.c_str(), final_.c_str()) != 0) {
        return systemError("Cannot replace", final_);
    }
    temporary_.clear();
    Descriptor folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) {
        ::fsync(folder.get());  // makes the rename itself durable; not all systems allow it
    }
    // Some file systems (FAT through FUSE among them) reset the time on rename. The new
    // content is in place now, so a refusal here is no failure in itself: the time read
    // back tells whether the target kept the source's time (most already have it from
    // the temporary file).
    const struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    if (::utimensat(AT_FDCWD, final_.c_str(), times, 0) != 0) {
        errno = 0;
    }
    struct stat placed {};
    if (::stat(final_.c_str(), &placed) != 0) {
        return systemError("Cannot look at", final_);
    }
    if (placed.st_size != sourceInfo.st_size) {
        return Error{"The copy has the wrong size: " + final_};
    }
    return CopiedTimes{modifiedOf(sourceInfo), modifiedOf(placed)};
}

Result<CopiedTimes> AtomicReplace::run() {
    removeStaleTemporaries(folder_, baseOf(final_));
    Descriptor from;
    struct stat sourceInfo {};
    if (auto opened = openSource(from, sourceInfo); !opened) {
        return Error{opened.reason()};
    }
    struct stat targetInfo {};
    if (auto checked = checkTarget(targetInfo); !checked) {
        return Error{checked.reason()};
    }
    Descriptor to;
    if (auto created = createTemporary(to); !created) {
        return Error{created.reason()};
    }
    if (auto filled = fill(from, to, sourceInfo, targetInfo); !filled) {
        return Error{filled.reason()};
    }
    return install(sourceInfo);
}

class PosixFileSystem final : public FileSystem, public SettingsStore {
  public:
    std::string workingPath(std::string_view typedPath) const override {
        return std::string(typedPath);
    }

    std::string fileName(std::string_view workingPath) const override {
        return baseOf(std::string(workingPath));
    }

    Result<std::optional<FileStamp>> findOrdinaryFile(const std::string& path) override {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            // A path too long for the system may still name a file: that is a failure
            // with its reason, not a missing file.
            if (errno == ENOENT || errno == ENOTDIR) {
                return std::optional<FileStamp>();
            }
            return systemError("Cannot look at", path);
        }
        if (!S_ISREG(info.st_mode)) {
            return std::optional<FileStamp>();
        }
        return std::optional<FileStamp>(
            FileStamp{modifiedOf(info),
                      FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                                   static_cast<std::uint64_t>(info.st_ino)},
                      static_cast<std::uint64_t>(info.st_size)});
    }

    bool hasCoarseTimes(const std::string& path) override;

    Result<CopiedTimes> replaceWithCopy(const std::string& source, const std::string& target,
                                        const ReplaceTerms& /*terms*/,
                                        const CopyProgressHandler& progress = {}) override {
        auto finalPath = resolveTarget(target);
        if (!finalPath) {
            return Error{finalPath.reason()};
        }
        AtomicReplace replace(source, finalPath.value(), progress);
        return replace.run();
    }

    Result<bool> haveSameContent(const std::string& first, const std::string& second,
                                 const std::function<bool()>& keepGoing = {}) override;
    Status setModifiedTime(const std::string& path, FileTime expected, FileTime wanted) override;

    Result<SettingsFileLook> lookAtSettingsFile(const std::string& path) override;
    Result<std::string> readFile(const std::string& path, std::size_t maxBytes) override;

    Status writeFileAtomically(const std::string& path, std::string_view content) override;

    std::string toProfileBytes(std::string_view utf8) const override { return std::string(utf8); }
    std::string fromProfileBytes(std::string_view bytes) const override {
        return std::string(bytes);
    }
    std::string_view nativeLineEnd() const override { return "\n"; }

    std::string userSettingsFolder() const override;

    bool canCreateFilesIn(const std::string& folder) override {
        return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    }

    Status createFolders(const std::string& folder) override;
};

// The FAT family, native or through FUSE, told by the mount's file-system type.
bool isCoarseTimeType(const std::string& type) {
    static const std::array<const char*, 7> kTypes = {
        "vfat", "msdos", "exfat", "fat", "fuse.fusefat", "fuse.exfat", "fuse.exfat-fuse"};
    for (const char* known : kTypes) {
        if (type == known) {
            return true;
        }
    }
    return false;
}

// The type of the mount that holds a path, from /proc/self/mountinfo (longest mount
// point that is a prefix of the resolved path).
std::string mountTypeOf(const std::string& resolved) {
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    std::string bestType;
    std::size_t bestLength = 0;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint;
        fields >> id >> parent >> numbers >> root >> mountPoint;
        const auto separator = line.find(" - ");
        if (separator == std::string::npos) {
            continue;
        }
        std::istringstream tail(line.substr(separator + 3));
        std::string type;
        tail >> type;
        const bool covers = resolved.compare(0, mountPoint.size(), mountPoint) == 0 &&
                            (mountPoint == "/" || resolved.size() == mountPoint.size() ||
                             resolved[mountPoint.size()] == '/');
        if (covers && mountPoint.size() >= bestLength) {
            bestLength = mountPoint.size();
            bestType = type;
        }
    }
    return bestType;
}

bool PosixFileSystem::hasCoarseTimes(const std::string& path) {
    constexpr long kMsdosMagic = 0x4d44;
    constexpr long kExfatMagic = 0x2011BAB0;
    constexpr long kFuseMagic = 0x65735546;
    struct statfs info {};
    if (::statfs(path.c_str(), &info) != 0) {
        return false;
    }
    const long type = static_cast<long>(info.f_type);
    if (type == kMsdosMagic || type == kExfatMagic) {
        return true;
    }
    if (type != kFuseMagic) {
        return false;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return false;
    }
    return isCoarseTimeType(mountTypeOf(resolved));
}

// Reads up to buffer.size() bytes, fewer only at the end of the file.
Result<std::size_t> readPiece(int fd, std::vector<char>& buffer, const std::string& path) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return systemError("Cannot read", path);
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return filled;
}

Result<bool> PosixFileSystem::haveSameContent(const std::string& first, const std::string& second,
                                              const std::function<bool()>& keepGoing) {
    Descriptor one(::open(first.c_str(), O_RDONLY | O_CLOEXEC));
    if (!one.valid()) {
        return systemError("Cannot open", first);
    }
    Descriptor two(::open(second.c_str(), O_RDONLY | O_CLOEXEC));
    if (!two.valid()) {
        return systemError("Cannot open", second);
    }
    return sameBytesInPieces(
        [&](std::vector<char>& buffer) { return readPiece(one.get(), buffer, first); },
        [&](std::vector<char>& buffer) { return readPiece(two.get(), buffer, second); }, keepGoing,
        first + " and " + second);
}

// Some FUSE volumes (fusefat) ignore a new last-modified time that comes without an
// access time, so the file's own access time goes with it.
Status PosixFileSystem::setModifiedTime(const std::string& path, FileTime expected,
                                        FileTime wanted) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        return systemError("Cannot open", path);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return systemError("Cannot look at", path);
    }
    if (!(modifiedOf(info) == expected)) {
        return Error{"The file changed meanwhile: " + path};
    }
    const struct timespec times[2] = {info.st_atim,
                                      {static_cast<time_t>(wanted.seconds), wanted.nanoseconds}};
    if (::futimens(file.get(), times) != 0) {
        return systemError("Cannot set the time of", path);
    }
    return {};
}

// Judged for the effective user, as the save will run: root may write a 0444 file.
bool mayWrite(const std::string& path) {
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) {
        return true;
    }
    return errno != EACCES && errno != EPERM && errno != EROFS;
}

Result<SettingsFileLook> PosixFileSystem::lookAtSettingsFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return SettingsFileLook{};
        }
        return systemError("Cannot look at", path);
    }
    if (!S_ISREG(info.st_mode)) {
        return SettingsFileLook{SettingsFileLook::Kind::Other, 0, false};
    }
    return SettingsFileLook{SettingsFileLook::Kind::OrdinaryFile,
                            static_cast<std::uint64_t>(info.st_size), mayWrite(path)};
}

Result<std::string> PosixFileSystem::readFile(const std::string& path, std::size_t maxBytes) {
    // Without O_NONBLOCK a FIFO put in the file's place would block the open until a
    // writer came.
    Descriptor in(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!in.valid()) {
        return systemError("Cannot open", path);
    }
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) {
        return systemError("Cannot look at", path);
    }
    if (!S_ISREG(info.st_mode)) {
        return Error{"Not an ordinary file: " + path};
    }
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        return Error{"Too large: " + path};
    }
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size()) {
            if (content.size() > maxBytes) {
                return Error{"Too large: " + path};  // it grew while it was read
            }
            content.resize(std::min(maxBytes + 1, content.size() + 4096));
        }
        const ssize_t got = ::read(in.get(), content.data() + filled, content.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return systemError("Cannot read", path);
        }
        if (got == 0) {
            content.resize(filled);
            return content;
        }
        filled += static_cast<std::size_t>(got);
    }
}

std::string PosixFileSystem::userSettingsFolder() const {
    // Only an absolute XDG_CONFIG_HOME counts; a relative one would depend on where the
    // program happened to be started.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        return std::string(configHome) + "/kelvane";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.config/kelvane";
    }
    // A service or a bare `env -i` start has no HOME; the user's home is still known.
    const std::string registered = homeInUserDatabase();
    return registered.empty() ? std::string() : registered + "/.config/kelvane";
}

Status PosixFileSystem::createFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string step = folder.substr(0, slash);
        if (::mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) {
            return systemError("Cannot create the folder", step);
        }
        if (slash == std::string::npos) {
            return {};
        }
    }
}

Result<std::string> linkTarget(const std::string& link) {
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length < 0) {
        return systemError("Cannot read the symbolic link", link);
    }
    target.resize(static_cast<std::size_t>(length));
    return target.front() == '/' ? target : folderOf(link) + "/" + target;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A settings file reached through a symbolic link is written behind the link, as a save
// through a live link replaces the file it points to. A link whose file is missing gets
// that file, in its own folder, so the link stays the user's way to their settings; a
// link into a folder that does not exist is refused rather than replaced by a file.
Result<std::string> settingsFileBehind(const std::string& linkOrPath) {
    std::string at = linkOrPath;
    for (int hop = 0; hop < 40; ++hop) {
        char resolved[PATH_MAX];
        if (::realpath(at.c_str(), resolved) != nullptr) {
            return std::string(resolved);
        }
        struct stat info {};
        if (::lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            if (at != linkOrPath && !isFolder(folderOf(at))) {
                return Error{"Cannot save the settings through the symbolic link " + linkOrPath +
                             ": the folder of the file it points to, " + at + ", does not exist"};
            }
            return at;
        }
        auto next = linkTarget(at);
        if (!next) {
            return Error{next.reason()};
        }
        at = next.value();
    }
    return systemError("Cannot resolve", linkOrPath, ELOOP);
}

Status PosixFileSystem::writeFileAtomically(const std::string& linkOrPath,
                                            std::string_view content) {
    auto behind = settingsFileBehind(linkOrPath);
    if (!behind) {
        return Error{behind.reason()};
    }
    const std::string path = behind.value();
    const std::string folder = folderOf(path);
    removeStaleTemporaries(folder, baseOf(path));
    Descriptor out;
    auto created = createTemporaryFor(folder, baseOf(path), 0644, out);
    if (!created) {
        return Error{created.reason()};
    }
    const std::string temporary = created.value();
    auto fail = [&](const std::string& what) {
        const int code = errno;
        out.reset();
        ::unlink(temporary.c_str());
        return systemError(what, path, code);
    };
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 &&
        ::fchmod(out.get(), existing.st_mode & 07777) != 0) {
        return fail("Cannot set permissions for");
    }
    for (std::size_t written = 0; written < content.size();) {
        const ssize_t put = ::write(out.get(), content.data() + written, content.size() - written);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0) {
            return fail("Cannot write");
        }
        written += static_cast<std::size_t>(put);
    }
    if (::fsync(out.get()) != 0) {
        return fail("Cannot flush");
    }
    if (out.closeChecked() != 0) {
        return fail("Cannot write");
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return systemError("Cannot replace", path, code);
    }
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
    return {};
}

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

std::unique_ptr<SettingsStore> makeSystemSettingsStore() {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace kelvane::platform
