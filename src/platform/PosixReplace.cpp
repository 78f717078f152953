// The safe replace on Linux and other POSIX systems: a copy of a file, or a small text,
// written into a temporary file beside its target and renamed over it.
#include "platform/PosixReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/PosixFiles.h"
#include "platform/PosixTrash.h"
#include "platform/SafeReplace.h"

namespace kelvane::platform::posix {
namespace {

// The first data at or after `at`, or nothing when only a hole follows. A file system
// that cannot tell holes answers as if the whole file were data.
std::optional<ByteRange> nextDataRange(int fd, off_t at, off_t size) {
    const auto range = [](off_t start, off_t end) {
        return ByteRange{static_cast<std::uint64_t>(start), static_cast<std::uint64_t>(end)};
    };
    const off_t start = ::lseek(fd, at, SEEK_DATA);
    if (start < 0) {
        if (errno == ENXIO) {
            return std::nullopt;
        }
        return range(at, size);
    }
    if (start >= size) {
        return std::nullopt;
    }
    const off_t end = ::lseek(fd, start, SEEK_HOLE);
    return range(start, end < 0 || end > size ? size : end);
}

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

// A new file beside the one it will replace, removed again unless it took that file's
// place.
class TemporaryBeside {
  public:
    explicit TemporaryBeside(std::string finalPath)
        : final_(std::move(finalPath)), folder_(folderOf(final_)) {}
    ~TemporaryBeside() {
        file_.reset();
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryBeside(const TemporaryBeside&) = delete;
    TemporaryBeside& operator=(const TemporaryBeside&) = delete;

    const std::string& finalPath() const { return final_; }
    const std::string& folder() const { return folder_; }
    Descriptor& file() { return file_; }

    void removeStaleOnes() { removeStaleTemporaries(folder_, baseOf(final_)); }

    Status create(mode_t mode) {
        auto created = createTemporaryFor(folder_, baseOf(final_), mode, file_);
        if (!created) {
            return Error{created.reason()};
        }
        path_ = created.value();
        return {};
    }

    Status renameOverTarget() {
        if (::rename(path_.c_str(), final_.c_str()) != 0) {
            return systemError("Cannot replace", final_);
        }
        path_.clear();
        flushFolder(folder_);
        return {};
    }

  private:
    std::string final_;
    std::string folder_;
    std::string path_;
    Descriptor file_;
};

// A copy of a file: its data ranges in the kernel where possible, holes kept where the
// target's volume keeps them, and what the replaced file carried besides its bytes.
class FileCopySteps final : public ReplaceSteps {
  public:
    FileCopySteps(std::string source, std::string finalPath, const ReplaceTerms& terms)
        : source_(std::move(source)), temporary_(finalPath), terms_(terms), keeper_(finalPath) {}

    void removeStaleTemporaries() override {
        temporary_.removeStaleOnes();
        keeper_.clearInterruptedKeep();
    }
    Result<std::uint64_t> openContent() override;
    Status checkTarget() override;
    Status createTemporary() override;
    std::optional<ByteRange> nextData(std::uint64_t at) override {
        if (!skipHoles_) {
            return ByteRange{at, static_cast<std::uint64_t>(sourceInfo_.st_size)};
        }
        return nextDataRange(from_.get(), static_cast<off_t>(at), sourceInfo_.st_size);
    }
    Status copyRange(ByteRange range) override {
        auto at = static_cast<off_t>(range.start);
        return copier_->copy(at, static_cast<off_t>(range.end));
    }
    Status finishTemporary(std::uint64_t size) override;
    Status checkTargetUnchanged() override;
    Result<KeptCopy> keepReplaced() override {
        return terms_.keepReplaced ? keeper_.keep() : Result<KeptCopy>(KeptCopy{});
    }
    void dropKept() override { keeper_.drop(); }
    Status install() override { return temporary_.renameOverTarget(); }
    Result<CopiedTimes> settle() override;

  private:
    const std::string& target() const { return temporary_.finalPath(); }
    Status carryOver();

    std::string source_;
    TemporaryBeside temporary_;
    const ReplaceTerms& terms_;
    ReplacedCopyKeeper keeper_;
    Descriptor from_;
    struct stat sourceInfo_ {};
    struct stat targetInfo_ {};
    bool skipHoles_ = false;
    std::optional<RangeCopier> copier_;
};

Result<std::uint64_t> FileCopySteps::openContent() {
    from_.adopt(::open(source_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from_.valid()) {
        return systemError("Cannot open", source_);
    }
    if (::fstat(from_.get(), &sourceInfo_) != 0) {
        return systemError("Cannot read the time of", source_);
    }
    if (!S_ISREG(sourceInfo_.st_mode)) {
        return Error{"Not an ordinary file: " + source_};
    }
    return static_cast<std::uint64_t>(sourceInfo_.st_size);
}

// A target without write permission was made so to protect it, and a target with other
// names (hard links) would be split by the rename: its other names would keep the old
// bytes. Both are refused before anything is written.
Status FileCopySteps::checkTarget() {
    if (::stat(target().c_str(), &targetInfo_) != 0) {
        return systemError("Cannot look at", target());
    }
    // Judged for the effective user, as the rename runs: root may replace a 0444 file.
    if (::faccessat(AT_FDCWD, target().c_str(), W_OK, AT_EACCESS) != 0) {
        const int code = errno;
        if (code == EACCES || code == EPERM || code == EROFS) {
            return Error{"Cannot replace " + target() + ": it is read-only for this user (" +
                         std::strerror(code) + ")"};
        }
        return systemError("Cannot look at", target(), code);
    }
    if (!S_ISREG(targetInfo_.st_mode)) {
        return Error{"Cannot replace " + target() + ": it is no longer an ordinary file"};
    }
    if (targetInfo_.st_nlink > 1) {
        return Error{"Cannot replace " + target() +
                     ": it has other names (hard links), which would keep the old content"};
    }
    return {};
}

Status FileCopySteps::createTemporary() {
    if (auto created = temporary_.create(0600); !created) {
        return created;
    }
    skipHoles_ = keepsHoles(temporary_.file().get());
    copier_.emplace(from_.get(), temporary_.file().get(), source_);
    return {};
}

// What the replaced file carried besides its bytes goes to its replacement: owner and
// group where the system lets this user keep them (only a privileged process may give
// a file away, but an owner may keep a group it belongs to), permissions, and extended
// attributes with the access control list. Permissions come before the access control
// list, which sets the group bits itself.
Status FileCopySteps::carryOver() {
    const int to = temporary_.file().get();
    if (::fchown(to, targetInfo_.st_uid, targetInfo_.st_gid) != 0 &&
        ::fchown(to, static_cast<uid_t>(-1), targetInfo_.st_gid) != 0) {
        errno = 0;
    }
    if (::fchmod(to, targetInfo_.st_mode & 07777) != 0 && !permissionsUnsupported(errno)) {
        return systemError("Cannot set permissions on a copy in", temporary_.folder());
    }
    return copyExtendedAttributes(target(), to);
}

Status FileCopySteps::finishTemporary(std::uint64_t size) {
    Descriptor& to = temporary_.file();
    // A copy that ends in a hole gets its length without writing the hole.
    if (skipHoles_ && ::ftruncate(to.get(), static_cast<off_t>(size)) != 0) {
        return systemError("Cannot write a copy for", source_);
    }
    struct stat after {};
    if (::fstat(from_.get(), &after) != 0 || !unchangedSince(sourceInfo_, after)) {
        return sourceChanged(source_);
    }
    if (auto carried = carryOver(); !carried) {
        return carried;
    }
    const std::string& folder = temporary_.folder();
    const struct timespec times[2] = {sourceInfo_.st_atim, sourceInfo_.st_mtim};
    if (::futimens(to.get(), times) != 0) {
        return systemError("Cannot set the time of a copy in", folder);
    }
    if (::fsync(to.get()) != 0) {
        return systemError("Cannot flush a copy in", folder);
    }
    if (to.closeChecked() != 0) {
        return systemError("Cannot finish a copy in", folder);
    }
    return {};
}

// An edit saved into the target while the pass copied is the user's newest work: the
// copy must not land on it.
Status FileCopySteps::checkTargetUnchanged() {
    if (!terms_.expectedTarget) {
        return {};
    }
    struct stat now {};
    if (::stat(target().c_str(), &now) != 0) {
        return systemError("Cannot look at", target());
    }
    if (!(modifiedOf(now) == terms_.expectedTarget->modified) ||
        static_cast<std::uint64_t>(now.st_size) != terms_.expectedTarget->size) {
        return Error{std::string(kTargetChangedMeanwhile) + target()};
    }
    return {};
}

Result<CopiedTimes> FileCopySteps::settle() {
    // Some file systems (FAT through FUSE among them) reset the time on rename. The new
    // content is in place now, so a refusal here is no failure in itself: the time read
    // back tells whether the target kept the source's time (most already have it from
    // the temporary file).
    const struct timespec times[2] = {sourceInfo_.st_atim, sourceInfo_.st_mtim};
    if (::utimensat(AT_FDCWD, target().c_str(), times, 0) != 0) {
        errno = 0;
    }
    keeper_.removeOldCopies();
    struct stat placed {};
    if (::stat(target().c_str(), &placed) != 0) {
        return systemError("Cannot look at", target());
    }
    if (placed.st_size != sourceInfo_.st_size) {
        return Error{"The copy has the wrong size: " + target()};
    }
    return CopiedTimes{modifiedOf(sourceInfo_), modifiedOf(placed), {}};
}

// A small text written whole; a new file gets 0644, an existing one keeps its bits.
class TextWriteSteps final : public ReplaceSteps {
  public:
    TextWriteSteps(std::string finalPath, std::string_view content)
        : temporary_(std::move(finalPath)), content_(content) {}

    void removeStaleTemporaries() override { temporary_.removeStaleOnes(); }
    Result<std::uint64_t> openContent() override { return std::uint64_t{content_.size()}; }
    Status checkTarget() override {
        struct stat existing {};
        if (::stat(temporary_.finalPath().c_str(), &existing) == 0) {
            mode_ = existing.st_mode & 07777;
        }
        return {};
    }
    Status createTemporary() override;
    std::optional<ByteRange> nextData(std::uint64_t at) override {
        return ByteRange{at, content_.size()};
    }
    Status copyRange(ByteRange range) override;
    Status finishTemporary(std::uint64_t size) override;
    Status checkTargetUnchanged() override { return {}; }
    Result<KeptCopy> keepReplaced() override { return KeptCopy{}; }
    void dropKept() override {}
    Status install() override { return temporary_.renameOverTarget(); }
    Result<CopiedTimes> settle() override { return CopiedTimes{}; }

  private:
    Error failure(const std::string& what) const {
        return systemError(what, temporary_.finalPath());
    }

    TemporaryBeside temporary_;
    std::string_view content_;
    std::optional<mode_t> mode_;
};

Status TextWriteSteps::createTemporary() {
    if (auto created = temporary_.create(0644); !created) {
        return created;
    }
    if (mode_ && ::fchmod(temporary_.file().get(), *mode_) != 0) {
        return failure("Cannot set permissions for");
    }
    return {};
}

Status TextWriteSteps::copyRange(ByteRange range) {
    return writeAll(temporary_.file().get(), content_.substr(range.start, range.end - range.start),
                    "Cannot write", temporary_.finalPath());
}

Status TextWriteSteps::finishTemporary(std::uint64_t /*size*/) {
    if (::fsync(temporary_.file().get()) != 0) {
        return failure("Cannot flush");
    }
    if (temporary_.file().closeChecked() != 0) {
        return failure("Cannot write");
    }
    return {};
}

}  // namespace

Result<CopiedTimes> replaceWithCopyOf(const std::string& source, const std::string& finalPath,
                                      const ReplaceTerms& terms,
                                      const CopyProgressHandler& progress) {
    FileCopySteps steps(source, finalPath, terms);
    return replaceSafely(steps, source, progress);
}

Status replaceWithText(const std::string& finalPath, std::string_view content) {
    TextWriteSteps steps(finalPath, content);
    auto written = replaceSafely(steps, finalPath);
    if (!written) {
        return Error{written.reason()};
    }
    return {};
}

}  // namespace kelvane::platform::posix
