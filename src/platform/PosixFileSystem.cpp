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
#include "platform/PosixFiles.h"
#include "platform/PosixReplace.h"
#include "platform/SettingsStore.h"

namespace kelvane::platform {
namespace {

using posix::baseOf;
using posix::Descriptor;
using posix::folderOf;
using posix::modifiedOf;
using posix::systemError;

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

// A symbolic link target is replaced behind the link, so the link itself survives.
Result<std::string> resolveTarget(const std::string& target) {
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved) == nullptr) {
        return systemError("Cannot resolve", target);
    }
    return std::string(resolved);
}

class PosixFileSystem final : public FileSystem, public SettingsStore {
  public:
    std::string workingPath(std::string_view typedPath) const override {
        return std::string(typedPath);
    }

    std::string fileName(std::string_view workingPath) const override {
        return baseOf(workingPath);
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

    FileIdentity identityOf(const std::string& path) override {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            return {};
        }
        return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                            static_cast<std::uint64_t>(info.st_ino)};
    }

    bool hasCoarseTimes(const std::string& path) override;

    Result<CopiedTimes> replaceWithCopy(const std::string& source, const std::string& target,
                                        const ReplaceTerms& terms,
                                        const CopyProgressHandler& progress = {}) override {
        auto finalPath = resolveTarget(target);
        if (!finalPath) {
            return Error{finalPath.reason()};
        }
        return posix::replaceWithCopyOf(source, finalPath.value(), terms, progress);
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
    const std::string configHome = posix::xdgFolder("XDG_CONFIG_HOME", ".config");
    if (!configHome.empty()) {
        return configHome + "/kelvane";
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
    return posix::replaceWithText(behind.value(), content);
}

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

std::unique_ptr<SettingsStore> makeSystemSettingsStore() {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace kelvane::platform
