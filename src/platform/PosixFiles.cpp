#include "platform/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/TempNames.h"

namespace kelvane::platform::posix {
namespace {

bool processIsAlive(long pid) {
    if (pid <= 0) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
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

}  // namespace

Error systemError(const std::string& what, const std::string& path, int code) {
    return Error{what + " " + path + ": " + std::strerror(code)};
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string baseOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

FileTime modifiedOf(const struct stat& info) {
    return FileTime{static_cast<std::int64_t>(info.st_mtim.tv_sec),
                    static_cast<std::int32_t>(info.st_mtim.tv_nsec)};
}

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

std::string xdgFolder(const char* variable, const char* underHome) {
    const char* base = std::getenv(variable);
    if (base != nullptr && base[0] == '/') {
        return base;
    }
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] == '/' ? std::string(home) + "/" + underHome : "";
}

Error sourceChanged(const std::string& source) {
    return Error{"The source changed while it was copied: " + source};
}

Status writeAll(int fd, std::string_view bytes, const std::string& what, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0) {
            return systemError(what, path);
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return {};
}

Status RangeCopier::copy(off_t& at, off_t end) {
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

// Plain reads and writes from `at` on; the looks for holes move the source's offset, so
// both are placed first.
Status RangeCopier::copyThroughBuffer(off_t& at, off_t end) {
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
    if (auto written =
            writeAll(to_, std::string_view(buffer_.data(), static_cast<std::size_t>(got)),
                     "Cannot write a copy for", source_);
        !written) {
        return written;
    }
    at += got;
    return {};
}

void flushFolder(const std::string& folder) {
    Descriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.valid()) {
        ::fsync(handle.get());
    }
}

}  // namespace kelvane::platform::posix
