#include "platform/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>

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

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

void flushFolder(const std::string& folder) {
    Descriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.valid()) {
        ::fsync(handle.get());
    }
}

}  // namespace kelvane::platform::posix
