// The file system on Windows. Paths travel through the program as UTF-8 and meet the
// system as UTF-16 through the wide-character API, so every file name works whatever
// the ANSI code page; only the settings file's bytes use the ANSI code page.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <array>
#include <cwctype>
#include <optional>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/PieceComparison.h"
#include "platform/SettingsStore.h"
#include "platform/TempNames.h"
#include "platform/WideText.h"
#include "platform/WindowsCalls.h"
#include "platform/WindowsReplace.h"

namespace kelvane::platform {
namespace {

using namespace windows;

// Errors that mean "nothing there", as opposed to "could not look". An unreachable
// share, a drive that is not ready or a path longer than the system takes is not
// "nothing there": the pass then fails with the reason and auto sync tries again,
// instead of refusing and switching auto sync off.
bool meansAbsent(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_DRIVE:
            return true;
        default:
            return false;
    }
}

bool isCoarseTimeFileSystem(std::wstring_view name) {
    static const std::array<std::wstring_view, 5> kNames = {L"FAT", L"FAT12", L"FAT16", L"FAT32",
                                                            L"exFAT"};
    for (std::wstring_view known : kNames) {
        if (::CompareStringOrdinal(name.data(), static_cast<int>(name.size()), known.data(),
                                   static_cast<int>(known.size()), TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

bool onCoarseTimeVolume(const std::wstring& path) {
    std::vector<wchar_t> volume(path.size() + MAX_PATH + 1);
    if (!::GetVolumePathNameW(path.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
        return false;
    }
    std::array<wchar_t, MAX_PATH + 1> fileSystemName{};
    if (!::GetVolumeInformationW(volume.data(), nullptr, 0, nullptr, nullptr, nullptr,
                                 fileSystemName.data(),
                                 static_cast<DWORD>(fileSystemName.size()))) {
        return false;
    }
    return isCoarseTimeFileSystem(fileSystemName.data());
}

// ---- The file system ---------------------------------------------------------------

std::string randomSuffix() {
    return randomNamePart(::GetCurrentProcessId());
}

// Asks for write access without writing: an access control list that denies the user
// makes the file as read-only as the attribute does. A file held open by another program
// is not read-only; the save then reports that it is in use.
bool mayOpenForWriting(const std::wstring& path) {
    Handle file(::CreateFileW(path.c_str(), FILE_WRITE_DATA, kShareAll, nullptr, OPEN_EXISTING, 0,
                              nullptr));
    return file.valid() || ::GetLastError() != ERROR_ACCESS_DENIED;
}

class WindowsFileSystem final : public FileSystem, public SettingsStore {
  public:
    explicit WindowsFileSystem(windows::ReplaceWay way = {}) : way_(way) {}

    std::string workingPath(std::string_view typedPath) const override {
        std::string path(typedPath);
        for (char& c : path) {
            if (c == '/') {
                c = '\\';
            }
        }
        return path;
    }

    std::string fileName(std::string_view workingPath) const override {
        return toUtf8(baseNameOf(toWide(workingPath)));
    }

    Result<std::optional<FileStamp>> findOrdinaryFile(const std::string& path) override;
    FileIdentity identityOf(const std::string& path) override;

    bool hasCoarseTimes(const std::string& path) override {
        return onCoarseTimeVolume(toWide(path));
    }

    Result<CopiedTimes> replaceWithCopy(const std::string& source, const std::string& target,
                                        const ReplaceTerms& terms,
                                        const CopyProgressHandler& progress = {}) override {
        return windows::replaceWithCopyOf(systemPath(toWide(source)), systemPath(toWide(target)),
                                          terms, way_, progress);
    }

    Result<bool> haveSameContent(const std::string& first, const std::string& second,
                                 const std::function<bool()>& keepGoing = {}) override;
    Status setModifiedTime(const std::string& path, FileTime expected, FileTime wanted) override;

    Result<SettingsFileLook> lookAtSettingsFile(const std::string& path) override;
    Result<std::string> readFile(const std::string& path, std::size_t maxBytes) override;
    Status writeFileAtomically(const std::string& path, std::string_view content) override;

    std::string toProfileBytes(std::string_view utf8) const override {
        return ansiFromWide(toWide(utf8));
    }
    std::string fromProfileBytes(std::string_view bytes) const override {
        return toUtf8(wideFromAnsi(bytes));
    }
    std::string_view nativeLineEnd() const override { return "\r\n"; }

    std::string userSettingsFolder() const override;
    bool canCreateFilesIn(const std::string& folder) override;
    Status createFolders(const std::string& folder) override;

  private:
    windows::ReplaceWay way_;
};

constexpr DWORD kNotOrdinary =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The look through a handle: it follows a symbolic link to its file, and tells a device
// (NUL, COM1) from a file.
Result<std::optional<FileStamp>> lookThroughHandle(const std::wstring& wide) {
    Handle file = openForAttributes(wide, FILE_READ_ATTRIBUTES);
    if (!file.valid()) {
        const DWORD code = ::GetLastError();
        if (meansAbsent(code)) {
            return std::optional<FileStamp>();
        }
        return systemError("Cannot look at", wide, code);
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return std::optional<FileStamp>();  // a device name such as NUL or COM1
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file.get(), &info)) {
        return lastError("Cannot look at", wide);
    }
    if ((info.dwFileAttributes & kNotOrdinary) != 0) {
        return std::optional<FileStamp>();
    }
    const std::uint64_t index =
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return std::optional<FileStamp>(FileStamp{toFileTime(info.ftLastWriteTime),
                                              FileIdentity{info.dwVolumeSerialNumber, index},
                                              sizeOf(info)});
}

// One call by name for the time, size and attributes: the identity, which needs a handle
// and a question to the volume (under Wine a round trip to another process), is asked for
// only where two paths may name one file. Symbolic links and devices take the handle.
Result<std::optional<FileStamp>> WindowsFileSystem::findOrdinaryFile(const std::string& path) {
    const std::wstring wide = systemPath(toWide(path));
    if (wide.size() >= kLongestPath) {
        return systemError("Cannot look at", wide, ERROR_FILENAME_EXCED_RANGE);
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return lookThroughHandle(wide);
    }
    if ((data.dwFileAttributes & kNotOrdinary) != 0) {
        return std::optional<FileStamp>();
    }
    const std::uint64_t size =
        (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return std::optional<FileStamp>(FileStamp{toFileTime(data.ftLastWriteTime), {}, size});
}

FileIdentity WindowsFileSystem::identityOf(const std::string& path) {
    const auto look = lookThroughHandle(systemPath(toWide(path)));
    return look && look.value() ? look.value()->identity : FileIdentity{};
}

// Reads up to buffer.size() bytes, fewer only at the end of the file.
Result<std::size_t> readPiece(HANDLE file, std::vector<char>& buffer, const std::wstring& path) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data() + filled, static_cast<DWORD>(buffer.size() - filled),
                        &got, nullptr)) {
            return lastError("Cannot read", path);
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    return filled;
}

Result<bool> WindowsFileSystem::haveSameContent(const std::string& first, const std::string& second,
                                                const std::function<bool()>& keepGoing) {
    const std::wstring paths[2] = {systemPath(toWide(first)), systemPath(toWide(second))};
    Handle files[2];
    for (int i = 0; i < 2; ++i) {
        files[i] = Handle(::CreateFileW(paths[i].c_str(), GENERIC_READ, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!files[i].valid()) {
            return lastError("Cannot open", paths[i]);
        }
    }
    return sameBytesInPieces(
        [&](std::vector<char>& buffer) { return readPiece(files[0].get(), buffer, paths[0]); },
        [&](std::vector<char>& buffer) { return readPiece(files[1].get(), buffer, paths[1]); },
        keepGoing, first + " and " + second);
}

FILETIME toFiletime(FileTime time) {
    const auto ticks = static_cast<std::uint64_t>(time.seconds * kTicksPerSecond +
                                                  time.nanoseconds / 100 + kUnixEpochTicks);
    FILETIME stamp;
    stamp.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    stamp.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return stamp;
}

Status WindowsFileSystem::setModifiedTime(const std::string& path, FileTime expected,
                                          FileTime wanted) {
    const std::wstring wide = systemPath(toWide(path));
    Handle file = openForAttributes(wide, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (!file.valid()) {
        return lastError("Cannot open", wide);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file.get(), &info)) {
        return lastError("Cannot look at", wide);
    }
    if (!(toFileTime(info.ftLastWriteTime) == expected)) {
        return Error{"The file changed meanwhile: " + path};
    }
    const FILETIME stamp = toFiletime(wanted);
    if (!::SetFileTime(file.get(), nullptr, nullptr, &stamp)) {
        return lastError("Cannot set the time of", wide);
    }
    return {};
}

// The settings file may carry any attribute the user gave it, hidden and system
// included: they change how Explorer shows it, not whose settings it holds.
Result<SettingsFileLook> WindowsFileSystem::lookAtSettingsFile(const std::string& path) {
    const std::wstring wide = toWide(path);
    Handle file = openForAttributes(wide, FILE_READ_ATTRIBUTES);
    if (!file.valid()) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return SettingsFileLook{};
        }
        return systemError("Cannot look at", wide, code);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return SettingsFileLook{SettingsFileLook::Kind::Other, 0, false};
    }
    file.reset();
    return SettingsFileLook{
        SettingsFileLook::Kind::OrdinaryFile, sizeOf(info),
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0 && mayOpenForWriting(wide)};
}

Result<std::string> WindowsFileSystem::readFile(const std::string& path, std::size_t maxBytes) {
    const std::wstring wide = toWide(path);
    Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) {
        return lastError("Cannot open", wide);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Error{"Not an ordinary file: " + path};
    }
    if (sizeOf(info) > maxBytes) {
        return Error{"Too large: " + path};
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(sizeOf(info)));
    std::array<char, 64 * 1024> buffer;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                        nullptr)) {
            return lastError("Cannot read", wide);
        }
        if (got == 0) {
            return content;
        }
        if (content.size() + got > maxBytes) {
            return Error{"Too large: " + path};  // it grew while it was read
        }
        content.append(buffer.data(), got);
    }
}

std::string WindowsFileSystem::userSettingsFolder() const {
    std::vector<wchar_t> appData(MAX_PATH + 1);
    for (;;) {
        const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", appData.data(),
                                                       static_cast<DWORD>(appData.size()));
        if (length == 0) {
            return {};
        }
        if (length < appData.size()) {
            return toUtf8(std::wstring_view(appData.data(), length)) + "\\Kelvane";
        }
        appData.resize(length);
    }
}

// Whether a new file may be made there is told only by making one, since the folder's
// access control list, not an attribute, decides.
bool WindowsFileSystem::canCreateFilesIn(const std::string& folder) {
    std::wstring probe = toWide(folder);
    if (!probe.empty() && !isSeparator(probe.back())) {
        probe += L'\\';
    }
    probe += toWide(
        temporaryName("Kelvane.ini", static_cast<long>(::GetCurrentProcessId()), randomSuffix()));
    Handle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.valid();
}

// Every step of the path is tried; a drive, a server or a share cannot be made and need
// not be, so only the last step's failure counts.
Status WindowsFileSystem::createFolders(const std::string& folder) {
    const std::wstring wide = toWide(folder);
    DWORD lastCode = ERROR_SUCCESS;
    for (std::size_t at = 1; at <= wide.size(); ++at) {
        if (at == wide.size() || isSeparator(wide[at])) {
            const std::wstring step = wide.substr(0, at);
            lastCode = ::CreateDirectoryW(step.c_str(), nullptr) ? ERROR_SUCCESS : ::GetLastError();
        }
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return systemError("Cannot create the folder", wide, lastCode);
    }
    return {};
}

Status WindowsFileSystem::writeFileAtomically(const std::string& path, std::string_view content) {
    return windows::writeAtomically(toWide(path), content);
}

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}

std::unique_ptr<SettingsStore> makeSystemSettingsStore() {
    return std::make_unique<WindowsFileSystem>();
}

std::unique_ptr<FileSystem> makeFileSystemWithPlainMoves() {
    return std::make_unique<WindowsFileSystem>(windows::ReplaceWay{false, false});
}

std::unique_ptr<FileSystem> windows::makeFileSystemKeepingInFolders() {
    return std::make_unique<WindowsFileSystem>(windows::ReplaceWay{true, true});
}

}  // namespace kelvane::platform