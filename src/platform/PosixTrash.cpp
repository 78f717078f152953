// Replaced copies in the freedesktop.org trash, or beside their file.
#include "platform/PosixTrash.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <tuple>
#include <vector>

#include "platform/PosixFiles.h"
#include "platform/ReplacedCopies.h"
#include "platform/TempNames.h"

namespace kelvane::platform::posix {
namespace {

// The line that marks a trash entry as one of Kelvane's replaced copies; other programs
// ignore keys they do not know.
constexpr const char* kOwnMark = "X-Kelvane-ReplacedCopy=true";

std::string homeTrash() {
    const std::string dataHome = xdgFolder("XDG_DATA_HOME", ".local/share");
    return dataHome.empty() ? dataHome : dataHome + "/Trash";
}

std::optional<dev_t> deviceOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_dev;
}

// The device of the path, or of its nearest folder that exists.
std::optional<dev_t> deviceOfNearest(std::string path) {
    for (;;) {
        if (auto device = deviceOf(path)) {
            return device;
        }
        if (path == "/" || path.empty()) {
            return std::nullopt;
        }
        path = folderOf(path);
    }
}

// The top of the volume that holds `folder`: the highest folder above it on its device.
std::string volumeTop(std::string folder, dev_t device) {
    while (folder != "/") {
        const std::string parent = folderOf(folder);
        if (deviceOf(parent) != device) {
            break;
        }
        folder = parent;
    }
    return folder;
}

// A folder of ours: made with 0700 when missing; a symbolic link or a folder of another
// user never counts.
bool ownFolder(const std::string& path, bool make) {
    if (make && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

bool usableTrash(const std::string& root, bool make) {
    return ownFolder(root, make) && ownFolder(root + "/files", make) &&
           ownFolder(root + "/info", make);
}

// A volume's shared trash is used only as the freedesktop.org rules allow it: a real
// folder with the sticky bit, holding a folder per user.
bool isSharedTrash(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           (info.st_mode & S_ISVTX) != 0;
}

std::optional<ReplacedCopyKeeper::Bin> volumeTrash(const std::string& top, bool make) {
    const std::string uid = std::to_string(::getuid());
    const std::string base = top == "/" ? "" : top;
    if (isSharedTrash(base + "/.Trash") && usableTrash(base + "/.Trash/" + uid, make)) {
        return ReplacedCopyKeeper::Bin{true, base + "/.Trash/" + uid, top};
    }
    if (usableTrash(base + "/.Trash-" + uid, make)) {
        return ReplacedCopyKeeper::Bin{true, base + "/.Trash-" + uid, top};
    }
    return std::nullopt;
}

// Bytes outside the unreserved set of URIs, and outside "/", as %XX.
std::string percentEncoded(const std::string& path) {
    static const std::string kPlain = "-_.!~*'()/";
    std::string encoded;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || kPlain.find(c) != std::string::npos) {
            encoded += c;
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local;
}

constexpr std::string_view kInfoSuffix = ".trashinfo";

// The name in the trash for the Nth try at a free one: the file's, then "stem N.ext" with
// N counting up, then with a random N (a trash may hold many files of one name); cut so
// that its info file's name still fits.
std::string numberedName(const std::string& name, int attempt) {
    const auto [stem, extension] = splitExtension(name);
    std::string number;
    if (attempt > 1 && attempt <= 20) {
        number = " " + std::to_string(attempt);
    } else if (attempt > 20) {
        number = " " + randomNamePart(static_cast<std::uint64_t>(::getpid())).substr(0, 6);
    }
    return std::string(fittedStem(stem, extension, number.size() + kInfoSuffix.size())) + number +
           std::string(extension);
}

// A copy of the file's bytes under a temporary name in the folder (named after `from`, so
// the next keep of that file finds what a killed one left), renamed to `at` once complete:
// a kill leaves no torn copy under a kept name.
Status copyInto(const std::string& from, const std::string& at) {
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        return systemError("Cannot open", from);
    }
    Descriptor out;
    auto temporary = createTemporaryFor(folderOf(at), baseOf(from), 0600, out);
    if (!temporary) {
        return Error{temporary.reason()};
    }
    const auto fail = [&](Error error) {
        out.reset();
        ::unlink(temporary.value().c_str());
        return error;
    };
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) {
        return fail(systemError("Cannot look at", from));
    }
    RangeCopier copier(in.get(), out.get(), from);
    off_t copied = 0;
    if (auto done = copier.copy(copied, info.st_size); !done) {
        return fail(Error{done.reason()});
    }
    if (::fsync(out.get()) != 0 || out.closeChecked() != 0) {
        return fail(systemError("Cannot write", at));
    }
    if (::rename(temporary.value().c_str(), at.c_str()) != 0) {
        return fail(systemError("Cannot create", at));
    }
    return {};
}

// Volumes without hard links (FAT, exFAT, some network and FUSE volumes) answer so.
bool withoutHardLinks(int code) {
    return code == EPERM || code == EXDEV || code == EOPNOTSUPP || code == ENOSYS || code == EMLINK;
}

// One of Kelvane's trash entries of the file: its name in files/ and info/, and when it
// was made.
struct OwnEntry {
    std::string name;  // without ".trashinfo"
    struct timespec made {};
};

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The start every trash name of the file has, whatever its number (see numberedName).
std::string trashNameStart(const std::string& fileName) {
    const auto [stem, extension] = splitExtension(fileName);
    constexpr std::size_t kLongestNumber = 7;
    return std::string(fittedStem(stem, extension, kLongestNumber + kInfoSuffix.size()));
}

// The entries in the trash's info/ that Kelvane made for the file with that Path= line;
// only names that start as its own can be, so a full trash costs a look at names.
std::vector<OwnEntry> ownEntries(const std::string& root, const std::string& fileName,
                                 const std::string& pathLine) {
    const std::string start = trashNameStart(fileName);
    std::vector<OwnEntry> found;
    const std::string infoFolder = root + "/info";
    DIR* dir = ::opendir(infoFolder.c_str());
    if (dir == nullptr) {
        return found;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, start.size(), start) != 0 || !endsWith(name, kInfoSuffix)) {
            continue;
        }
        const std::string info = infoFolder + "/" + name;
        struct stat look {};
        if (::lstat(info.c_str(), &look) != 0 || !S_ISREG(look.st_mode) || look.st_size > 8192) {
            continue;
        }
        std::ifstream in(info);
        std::string line;
        bool ours = false;
        bool samePath = false;
        while (std::getline(in, line)) {
            ours = ours || line == kOwnMark;
            samePath = samePath || line == pathLine;
        }
        if (ours && samePath) {
            found.push_back({name.substr(0, name.size() - kInfoSuffix.size()), look.st_mtim});
        }
    }
    ::closedir(dir);
    return found;
}

std::vector<std::string> replacedCopiesIn(const std::string& folder, const std::string& fileName) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (isReplacedCopyOf(entry->d_name, fileName)) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    return names;
}

bool sameFile(const std::string& path, const struct stat& file) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && info.st_dev == file.st_dev &&
           info.st_ino == file.st_ino;
}

}  // namespace

ReplacedCopyKeeper::ReplacedCopyKeeper(std::string target) : target_(std::move(target)) {}

std::optional<ReplacedCopyKeeper::Bin> ReplacedCopyKeeper::binFor(const std::string& target,
                                                                  bool make) {
    const std::string folder = folderOf(target);
    const auto device = deviceOf(folder);
    if (!device) {
        return std::nullopt;
    }
    const std::string home = homeTrash();
    if (!home.empty() && deviceOfNearest(home) == device) {
        if (make) {
            std::string parent = folderOf(home);
            std::vector<std::string> missing;
            for (; !deviceOf(parent); parent = folderOf(parent)) {
                missing.push_back(parent);
            }
            for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
                ::mkdir(it->c_str(), 0700);
            }
        }
        if (usableTrash(home, make)) {
            return Bin{true, home, {}};
        }
    }
    if (auto trash = volumeTrash(volumeTop(folder, *device), make)) {
        return trash;
    }
    const std::string beside = folder + "/" + std::string(kReplacedFolderName);
    if (ownFolder(beside, make)) {
        return Bin{false, beside, {}};
    }
    return std::nullopt;
}

// "Path=": absolute in the home trash, relative to the volume's top in a volume's trash.
std::string ReplacedCopyKeeper::trashInfoFor(const Bin& bin) const {
    std::string path = target_;
    if (!bin.topdir.empty()) {
        path = path.substr(bin.topdir == "/" ? 1 : bin.topdir.size() + 1);
    }
    return "Path=" + percentEncoded(path);
}

Status ReplacedCopyKeeper::putSecondName(const std::string& at) {
    if (::link(target_.c_str(), at.c_str()) == 0) {
        return {};
    }
    if (errno == EEXIST || !withoutHardLinks(errno)) {
        return systemError("Cannot keep the replaced copy of " + target_ + " as", at);
    }
    return copyInto(target_, at);
}

Result<KeptCopy> ReplacedCopyKeeper::keepInTrash(const Bin& bin) {
    char date[32];
    const std::tm now = localNow();
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &now);
    const std::string info =
        "[Trash Info]\n" + trashInfoFor(bin) + "\nDeletionDate=" + date + "\n" + kOwnMark + "\n";
    const std::string fileName = baseOf(target_);
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string name = numberedName(fileName, attempt);
        const std::string infoPath = bin.root + "/info/" + name + std::string(kInfoSuffix);
        Descriptor out(
            ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!out.valid() && errno == EEXIST) {
            continue;
        }
        if (!out.valid()) {
            return systemError("Cannot keep the replaced copy of " + target_ + " in", bin.root);
        }
        auto written = writeAll(out.get(), info, "Cannot write", infoPath);
        const std::string kept = bin.root + "/files/" + name;
        struct stat taken {};
        if (written && ::lstat(kept.c_str(), &taken) == 0) {
            ::unlink(infoPath.c_str());  // a file without its info: someone else's
            continue;
        }
        if (!written || ::fsync(out.get()) != 0) {
            ::unlink(infoPath.c_str());
            return systemError("Cannot keep the replaced copy of " + target_ + " in", bin.root);
        }
        if (auto placed = putSecondName(kept); !placed) {
            ::unlink(infoPath.c_str());
            return Error{placed.reason()};
        }
        flushFolder(bin.root + "/files");
        keptFile_ = kept;
        keptInfo_ = infoPath;
        return KeptCopy{KeptCopy::Place::Trash, {}};
    }
    return Error{"Cannot find a free name in " + bin.root + " for the replaced copy of " + target_};
}

Result<KeptCopy> ReplacedCopyKeeper::keepInFolder(const Bin& bin) {
    const auto name =
        freeReplacedCopyName(baseOf(target_), localNow(), [&](const std::string& name) {
            struct stat taken {};
            return ::lstat((bin.root + "/" + name).c_str(), &taken) != 0;
        });
    if (!name) {
        return Error{"Cannot find a free name in " + bin.root + " for the replaced copy of " +
                     target_};
    }
    const std::string kept = bin.root + "/" + *name;
    if (auto placed = putSecondName(kept); !placed) {
        return Error{placed.reason()};
    }
    flushFolder(bin.root);
    keptFile_ = kept;
    return KeptCopy{KeptCopy::Place::Folder, bin.root};
}

Result<KeptCopy> ReplacedCopyKeeper::keep() {
    bin_ = binFor(target_, true);
    if (!bin_) {
        return Error{"Cannot keep the replaced copy of " + target_ +
                     ": no trash folder and no folder beside it can be made"};
    }
    return bin_->isTrash ? keepInTrash(*bin_) : keepInFolder(*bin_);
}

void ReplacedCopyKeeper::drop() {
    if (!keptFile_.empty()) {
        ::unlink(keptFile_.c_str());
    }
    if (!keptInfo_.empty()) {
        ::unlink(keptInfo_.c_str());
    }
    keptFile_.clear();
    keptInfo_.clear();
}

void ReplacedCopyKeeper::removeOldCopies() {
    if (!bin_) {
        return;
    }
    if (!bin_->isTrash) {
        removeStaleTemporaries(bin_->root, baseOf(target_));
        for (const auto& name : replacedCopiesBeyondLimit(
                 baseOf(target_), replacedCopiesIn(bin_->root, baseOf(target_)))) {
            ::unlink((bin_->root + "/" + name).c_str());
        }
        return;
    }
    removeStaleTemporaries(bin_->root + "/files", baseOf(target_));
    auto entries = ownEntries(bin_->root, baseOf(target_), trashInfoFor(*bin_));
    // An info file whose copy never came (a keep killed in between) lists nothing.
    const auto orphan = [&](const OwnEntry& entry) {
        struct stat info {};
        if (::lstat((bin_->root + "/files/" + entry.name).c_str(), &info) == 0) {
            return false;
        }
        ::unlink((bin_->root + "/info/" + entry.name + std::string(kInfoSuffix)).c_str());
        return true;
    };
    entries.erase(std::remove_if(entries.begin(), entries.end(), orphan), entries.end());
    std::sort(entries.begin(), entries.end(), [](const OwnEntry& a, const OwnEntry& b) {
        return std::tie(a.made.tv_sec, a.made.tv_nsec) > std::tie(b.made.tv_sec, b.made.tv_nsec);
    });
    for (std::size_t i = kKeptPerFile; i < entries.size(); ++i) {
        ::unlink((bin_->root + "/files/" + entries[i].name).c_str());
        ::unlink((bin_->root + "/info/" + entries[i].name + std::string(kInfoSuffix)).c_str());
    }
}

void ReplacedCopyKeeper::clearInterruptedKeep() {
    struct stat target {};
    if (::stat(target_.c_str(), &target) != 0 || target.st_nlink < 2) {
        return;
    }
    const auto bin = binFor(target_, false);
    if (!bin) {
        return;
    }
    if (!bin->isTrash) {
        for (const auto& name : replacedCopiesIn(bin->root, baseOf(target_))) {
            if (sameFile(bin->root + "/" + name, target)) {
                ::unlink((bin->root + "/" + name).c_str());
            }
        }
        return;
    }
    for (const auto& entry : ownEntries(bin->root, baseOf(target_), trashInfoFor(*bin))) {
        if (sameFile(bin->root + "/files/" + entry.name, target)) {
            ::unlink((bin->root + "/files/" + entry.name).c_str());
            ::unlink((bin->root + "/info/" + entry.name + std::string(kInfoSuffix)).c_str());
        }
    }
}

}  // namespace kelvane::platform::posix
