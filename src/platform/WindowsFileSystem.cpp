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

namespace kelvane::platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::int64_t kTicksPerSecond = 10'000'000;               // FILETIME counts 100 ns
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;  // 1601-01-01 to 1970-01-01

std::string describe(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    ::LocalFree(buffer);
    while (!text.empty() && (std::iswspace(text.back()) != 0 || text.back() == L'.')) {
        text.pop_back();
    }
    return text.empty() ? "system error " + std::to_string(code) : toUtf8(text);
}

Error systemError(const char* what, const std::wstring& path, DWORD code) {
    return Error{std::string(what) + " " + toUtf8(path) + ": " + describe(code)};
}

// The reason for the call that just failed. Takes no argument that needs building, so
// nothing runs between the failure and the look at its code.
Error lastError(const char* what, const std::wstring& path) {
    const DWORD code = ::GetLastError();
    return systemError(what, path, code);
}

// ---- Paths -----------------------------------------------------------------------

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Where the last component starts: after the last separator, or after a drive prefix
// such as "C:" in "C:notes.txt".
std::size_t lastComponentStart(std::wstring_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) {
            return i;
        }
    }
    const bool drivePrefix = path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]) != 0;
    return drivePrefix ? 2 : 0;
}

// The folder part of a path with its trailing separator ("C:\dir\", "C:", or ""), so a
// name appended to it lands in the same folder.
std::wstring folderPrefixOf(const std::wstring& path) {
    return path.substr(0, lastComponentStart(path));
}

std::wstring baseNameOf(const std::wstring& path) {
    return path.substr(lastComponentStart(path));
}

// The longest path the system takes, in UTF-16 units.
constexpr std::size_t kLongestPath = 32'767;

// A path of MAX_PATH characters or more reaches the system only with the "\\?\" prefix,
// which also turns off the system's handling of "." and "..", so the full path is made
// first. Shorter paths, and those that already carry the prefix, stay as they are.
std::wstring systemPath(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) {
        return path;
    }
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0 || size >= kLongestPath) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
    }
    return L"\\\\?\\" + full;
}

// ---- Handles and times -------------------------------------------------------------

// Closes a handle on every way out of a scope.
class Handle {
  public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.handle_) {
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    Handle& operator=(Handle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void reset() {
        if (valid()) {
            ::CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }
    // Closes now and says whether the system accepted it.
    bool closeChecked() {
        const BOOL closed = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

  private:
    HANDLE handle_;
};

Handle openForAttributes(const std::wstring& path, DWORD access) {
    // Backup semantics let a folder be opened too, so it is told apart from a failure.
    return Handle(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

FileTime toFileTime(const FILETIME& stamp) {
    const auto ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(stamp.dwHighDateTime) << 32) |
                                  stamp.dwLowDateTime) -
        kUnixEpochTicks;
    std::int64_t seconds = ticks / kTicksPerSecond;
    std::int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {  // floor, so times before 1970 keep a positive nanosecond part
        rest += kTicksPerSecond;
        --seconds;
    }
    return FileTime{seconds, static_cast<std::int32_t>(rest * 100)};
}

std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool sameFiletime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

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

// ---- Temporary files -------------------------------------------------------------

std::string randomSuffix() {
    return randomNamePart(::GetCurrentProcessId());
}

bool processIsAlive(long pid) {
    if (pid <= 0) {
        return false;
    }
    Handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    if (!process.valid()) {
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but someone else's
    }
    DWORD exitCode = 0;
    return ::GetExitCodeProcess(process.get(), &exitCode) && exitCode == STILL_ACTIVE;
}

// A read-only file cannot be deleted, and our temporary files may carry the attribute.
void removeFile(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

// Temporary files are ours by name; one whose writer is gone is left over from a
// killed pass and is removed before the next write into that folder.
void removeStaleTemporaries(const std::wstring& finalPath) {
    const std::wstring folder = folderPrefixOf(finalPath);
    const std::string finalName = toUtf8(baseNameOf(finalPath));
    const std::wstring pattern = folder + toWide(temporaryPrefix(finalName)) + L"*.tmp";
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (isLeftOverTemporary(toUtf8(entry.cFileName), finalName,
                                static_cast<long>(::GetCurrentProcessId()), processIsAlive)) {
            removeFile(folder + entry.cFileName);
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

// What a new file takes over from the file it replaces.
struct Inherited {
    bool existed = false;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    FILETIME created{};
};

// The attributes that belong to the user's choice rather than to the content: a copy
// stays read-only (or hidden, for a settings file) when the file it replaces was.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

Inherited inheritedFrom(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return Inherited{};
    }
    return Inherited{true, data.dwFileAttributes, data.ftCreationTime};
}

// A new file beside the one it will replace, removed again unless it took that file's
// place. Windows allows no rename over a read-only file, so the replaced file's
// read-only attribute is lifted just for the rename and put back if the rename fails;
// the new file carries the attribute already.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::wstring finalPath) : final_(std::move(finalPath)) {}
    ~TemporaryFile() {
        handle_.reset();
        if (!path_.empty()) {
            removeFile(path_);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    Status create();
    Status write(std::string_view bytes);
    Status moveTo(std::uint64_t offset);
    Status setLength(std::uint64_t length);
    // Marks the new file sparse, where its volume keeps sparse files; false otherwise.
    bool makeSparse();
    Status finish(const Inherited& replaced, const FILETIME* modified);
    Status install(const Inherited& replaced);
    Status replaceTarget(const Inherited& replaced, bool systemReplace);

  private:
    std::wstring final_;
    std::wstring path_;
    Handle handle_;
};

Status TemporaryFile::create() {
    const std::wstring folder = folderPrefixOf(final_);
    const std::string finalName = toUtf8(baseNameOf(final_));
    auto made = createUnderFreshName(
        finalName, static_cast<long>(::GetCurrentProcessId()),
        [&](const std::string& name) -> Result<bool> {
            const std::wstring candidate = folder + toWide(name);
            // Hidden while it is being written, so it does not distract in Explorer.
            Handle file(::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN, nullptr));
            if (file.valid()) {
                path_ = candidate;
                handle_ = std::move(file);
                return true;
            }
            const DWORD code = ::GetLastError();
            if (code != ERROR_FILE_EXISTS) {
                return systemError("Cannot create a file beside", final_, code);
            }
            return false;
        });
    if (!made) {
        return Error{made.reason()};
    }
    if (made.value().empty()) {
        return Error{"Cannot find a free temporary name beside " + toUtf8(final_)};
    }
    return {};
}

Status TemporaryFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(handle_.get(), bytes.data(), chunk, &written, nullptr)) {
            return lastError("Cannot write beside", final_);
        }
        if (written == 0) {
            return Error{"Nothing could be written beside " + toUtf8(final_)};
        }
        bytes.remove_prefix(written);
    }
    return {};
}

Status TemporaryFile::moveTo(std::uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN)) {
        return lastError("Cannot write beside", final_);
    }
    return {};
}

Status TemporaryFile::setLength(std::uint64_t length) {
    if (auto moved = moveTo(length); !moved) {
        return moved;
    }
    if (!::SetEndOfFile(handle_.get())) {
        return lastError("Cannot write beside", final_);
    }
    return {};
}

bool TemporaryFile::makeSparse() {
    DWORD flags = 0;
    if (!::GetVolumeInformationByHandleW(handle_.get(), nullptr, 0, nullptr, nullptr, &flags,
                                         nullptr, 0) ||
        (flags & FILE_SUPPORTS_SPARSE_FILES) == 0) {
        return false;
    }
    DWORD returned = 0;
    return ::DeviceIoControl(handle_.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned,
                             nullptr) != FALSE;
}

// Stamps the finished content, pushes it to the disk and closes it.
Status TemporaryFile::finish(const Inherited& replaced, const FILETIME* modified) {
    const FILETIME* created = replaced.existed ? &replaced.created : nullptr;
    if ((created != nullptr || modified != nullptr) &&
        !::SetFileTime(handle_.get(), created, nullptr, modified)) {
        return lastError("Cannot set the time of a new file for", final_);
    }
    if (!::FlushFileBuffers(handle_.get())) {
        return lastError("Cannot flush a new file for", final_);
    }
    if (!handle_.closeChecked()) {
        return lastError("Cannot finish a new file for", final_);
    }
    return {};
}

Status TemporaryFile::install(const Inherited& replaced) {
    const DWORD carried = (replaced.attributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    if (!::SetFileAttributesW(path_.c_str(), carried)) {
        return lastError("Cannot set the attributes of a new file for", final_);
    }
    const bool readOnly = replaced.existed && (replaced.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly &&
        !::SetFileAttributesW(final_.c_str(), replaced.attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return lastError("Cannot replace", final_);
    }
    if (!::MoveFileExW(path_.c_str(), final_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = ::GetLastError();
        if (readOnly) {
            ::SetFileAttributesW(final_.c_str(), replaced.attributes);
        }
        return systemError("Cannot replace", final_, code);
    }
    path_.clear();
    return {};
}

// Errors of the system's replace-file call that mean the file system does not offer it.
bool replaceUnsupported(DWORD code) {
    return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ||
           code == ERROR_CALL_NOT_IMPLEMENTED;
}

// Puts the new file in the target's place with the system's replace-file call, which
// keeps what belongs to the target rather than to its content: its security descriptor,
// creation time, named streams and attributes. Where a file system does not support the
// call (or systemReplace is off), a plain move. On any failure the target is as it was.
Status TemporaryFile::replaceTarget(const Inherited& replaced, bool systemReplace) {
    const DWORD carried = (replaced.attributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    if (!::SetFileAttributesW(path_.c_str(), carried)) {
        return lastError("Cannot set the attributes of a new file for", final_);
    }
    if (systemReplace) {
        if (::ReplaceFileW(final_.c_str(), path_.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                           nullptr, nullptr)) {
            path_.clear();
            return {};
        }
        const DWORD code = ::GetLastError();
        if (!replaceUnsupported(code)) {
            return systemError("Cannot replace", final_, code);
        }
    }
    if (!::MoveFileExW(path_.c_str(), final_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return lastError("Cannot replace", final_);
    }
    path_.clear();
    return {};
}

// ---- Copying ---------------------------------------------------------------------

// A read-only target was made so to protect it, and a target with other names (hard
// links) would be split by the replacement: its other names would keep the old bytes.
// Both are refused before anything is written.
Status checkTarget(const std::wstring& target) {
    Handle file = openForAttributes(target, FILE_READ_ATTRIBUTES);
    if (!file.valid()) {
        return lastError("Cannot look at", target);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file.get(), &info)) {
        return lastError("Cannot look at", target);
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Error{"Cannot replace " + toUtf8(target) + ": it is no longer an ordinary file"};
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Error{"Cannot replace " + toUtf8(target) + ": it is read-only"};
    }
    // An access list that denies this user writing protects the file as the attribute
    // does, though a folder the user may change would let a move replace it. Asking for
    // write access writes nothing; a file held open elsewhere is not read-only, and the
    // replacement then reports that it is in use.
    file.reset();
    Handle writable(::CreateFileW(target.c_str(), FILE_WRITE_DATA, kShareAll, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!writable.valid() && ::GetLastError() == ERROR_ACCESS_DENIED) {
        return Error{"Cannot replace " + toUtf8(target) + ": it is read-only for this user"};
    }
    if (info.nNumberOfLinks > 1) {
        return Error{"Cannot replace " + toUtf8(target) +
                     ": it has other names (hard links), which would keep the old content"};
    }
    return {};
}

// The stretches of a sparse source that hold data, in order; nothing for a file that is
// not sparse or whose system cannot say (the copy is then a plain one).
std::optional<std::vector<FILE_ALLOCATED_RANGE_BUFFER>> allocatedRanges(
    HANDLE from, const BY_HANDLE_FILE_INFORMATION& info) {
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) == 0) {
        return std::nullopt;
    }
    const auto size = static_cast<LONGLONG>(sizeOf(info));
    std::vector<FILE_ALLOCATED_RANGE_BUFFER> ranges;
    FILE_ALLOCATED_RANGE_BUFFER query{};
    query.Length.QuadPart = size;
    std::vector<FILE_ALLOCATED_RANGE_BUFFER> answer(64);
    for (;;) {
        DWORD returned = 0;
        const BOOL done = ::DeviceIoControl(
            from, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, answer.data(),
            static_cast<DWORD>(answer.size() * sizeof answer[0]), &returned, nullptr);
        if (!done && ::GetLastError() != ERROR_MORE_DATA) {
            return std::nullopt;
        }
        const std::size_t count = returned / sizeof answer[0];
        ranges.insert(ranges.end(), answer.begin(), answer.begin() + static_cast<long>(count));
        if (done || count == 0) {
            return ranges;
        }
        const auto& last = ranges.back();
        query.FileOffset.QuadPart = last.FileOffset.QuadPart + last.Length.QuadPart;
        query.Length.QuadPart = size - query.FileOffset.QuadPart;
    }
}

// Copies [at, end) of the source a buffer at a time, telling `progress` after each; a
// false answer stops the copy. Holes before `at` count as copied.
class RangeCopy {
  public:
    RangeCopy(HANDLE from, TemporaryFile& to, std::uint64_t size, const std::wstring& source,
              const CopyProgressHandler& progress)
        : from_(from), to_(to), size_(size), source_(source), progress_(progress) {}

    Status copy(std::uint64_t at, std::uint64_t end) {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(at);
        if (!::SetFilePointerEx(from_, position, nullptr, FILE_BEGIN)) {
            return lastError("Cannot read", source_);
        }
        if (auto moved = to_.moveTo(at); !moved) {
            return moved;
        }
        while (at < end) {
            if (auto going = keepGoing(at); !going) {
                return going;
            }
            const auto wanted = static_cast<DWORD>(std::min<std::uint64_t>(end - at, kBuffer));
            DWORD got = 0;
            if (!::ReadFile(from_, buffer_.data(), wanted, &got, nullptr)) {
                return lastError("Cannot read", source_);
            }
            if (got == 0) {
                return Error{"The source changed while it was copied: " + toUtf8(source_)};
            }
            if (auto written = to_.write(std::string_view(buffer_.data(), got)); !written) {
                return written;
            }
            at += got;
        }
        return {};
    }

    Status keepGoing(std::uint64_t copied) {
        if (progress_ && !progress_(copied, size_)) {
            return Error{"The copy onto a file beside " + toUtf8(source_) + " was stopped"};
        }
        return {};
    }

  private:
    static constexpr std::uint64_t kBuffer = 1 << 20;
    HANDLE from_;
    TemporaryFile& to_;
    std::uint64_t size_;
    const std::wstring& source_;
    const CopyProgressHandler& progress_;
    std::vector<char> buffer_ = std::vector<char>(kBuffer);
};

// A sparse source on a volume that keeps sparse files is copied range by range, so its
// holes stay holes; anything else byte for byte. The source is open for reading only
// with nobody allowed to write, so its size holds.
Status copyContent(HANDLE from, TemporaryFile& to, const BY_HANDLE_FILE_INFORMATION& info,
                   const std::wstring& source, const CopyProgressHandler& progress) {
    const std::uint64_t size = sizeOf(info);
    RangeCopy copier(from, to, size, source, progress);
    const auto ranges = allocatedRanges(from, info);
    if (!ranges || !to.makeSparse()) {
        if (auto copied = copier.copy(0, size); !copied) {
            return copied;
        }
    } else {
        for (const auto& range : *ranges) {
            const auto start = static_cast<std::uint64_t>(range.FileOffset.QuadPart);
            const auto end =
                std::min(size, start + static_cast<std::uint64_t>(range.Length.QuadPart));
            if (start < end) {
                if (auto copied = copier.copy(start, end); !copied) {
                    return copied;
                }
            }
        }
        if (auto extended = to.setLength(size); !extended) {
            return extended;
        }
    }
    return copier.keepGoing(size);
}

// When the source's content or attributes last changed, which no program can put back;
// nothing where the system does not say.
std::optional<LONGLONG> changeTimeOf(HANDLE file) {
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        return std::nullopt;
    }
    return basic.ChangeTime.QuadPart;
}

// Some file systems set their own time on rename; the source's time is set once more on
// the final file. The new content is in place by then, so a refusal is no failure in
// itself: the time read back tells the caller whether the target kept the source's time.
Result<CopiedTimes> settleTime(const std::wstring& finalPath,
                               const BY_HANDLE_FILE_INFORMATION& source) {
    Handle placed = openForAttributes(finalPath, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (placed.valid()) {
        ::SetFileTime(placed.get(), nullptr, nullptr, &source.ftLastWriteTime);
    } else {
        placed = openForAttributes(finalPath, FILE_READ_ATTRIBUTES);
    }
    if (!placed.valid()) {
        return lastError("Cannot look at", finalPath);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(placed.get(), &info)) {
        return lastError("Cannot look at", finalPath);
    }
    if (sizeOf(info) != sizeOf(source)) {
        return Error{"The copy has the wrong size: " + toUtf8(finalPath)};
    }
    return CopiedTimes{toFileTime(source.ftLastWriteTime), toFileTime(info.ftLastWriteTime)};
}

// A symbolic link as target keeps the link: the file it points to is replaced.
Result<std::wstring> resolveTarget(const std::wstring& target) {
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return target;
    }
    Handle file = openForAttributes(target, FILE_READ_ATTRIBUTES);
    if (!file.valid()) {
        return lastError("Cannot resolve", target);
    }
    std::vector<wchar_t> resolved(MAX_PATH + 1);
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(file.get(), resolved.data(),
                                                         static_cast<DWORD>(resolved.size()), 0);
        if (length == 0) {
            return lastError("Cannot resolve", target);
        }
        if (length < resolved.size()) {
            return std::wstring(resolved.data(), length);
        }
        resolved.resize(length + 1);
    }
}

Result<CopiedTimes> copyOver(const std::wstring& source, const std::wstring& target,
                             bool systemReplace, const CopyProgressHandler& progress) {
    // Sharing only reads: nobody can write the source while it is copied.
    Handle from(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from.valid()) {
        return lastError("Cannot open", source);
    }
    BY_HANDLE_FILE_INFORMATION before;
    if (!::GetFileInformationByHandle(from.get(), &before)) {
        return lastError("Cannot read the time of", source);
    }
    const auto changedBefore = changeTimeOf(from.get());
    if (auto checked = checkTarget(target); !checked) {
        return Error{checked.reason()};
    }
    removeStaleTemporaries(target);
    const Inherited replaced = inheritedFrom(target);
    TemporaryFile copy(target);
    if (auto created = copy.create(); !created) {
        return Error{created.reason()};
    }
    if (auto copied = copyContent(from.get(), copy, before, source, progress); !copied) {
        return Error{copied.reason()};
    }
    // A share that lets another system write despite the share mode (Samba, NFS) may see
    // a rewrite in place that puts the old time back; only the change time tells.
    BY_HANDLE_FILE_INFORMATION after;
    if (!::GetFileInformationByHandle(from.get(), &after) || sizeOf(after) != sizeOf(before) ||
        !sameFiletime(after.ftLastWriteTime, before.ftLastWriteTime) ||
        changeTimeOf(from.get()) != changedBefore) {
        return Error{"The source changed while it was copied: " + toUtf8(source)};
    }
    if (auto finished = copy.finish(replaced, &before.ftLastWriteTime); !finished) {
        return Error{finished.reason()};
    }
    if (auto placed = copy.replaceTarget(replaced, systemReplace); !placed) {
        return Error{placed.reason()};
    }
    return settleTime(target, before);
}

// ---- The file system ---------------------------------------------------------------

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
    explicit WindowsFileSystem(bool systemReplace = true) : systemReplace_(systemReplace) {}

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

    bool hasCoarseTimes(const std::string& path) override {
        return onCoarseTimeVolume(toWide(path));
    }

    Result<CopiedTimes> replaceWithCopy(const std::string& source, const std::string& target,
                                        const ReplaceTerms& /*terms*/,
                                        const CopyProgressHandler& progress = {}) override {
        auto finalPath = resolveTarget(systemPath(toWide(target)));
        if (!finalPath) {
            return Error{finalPath.reason()};
        }
        return copyOver(systemPath(toWide(source)), finalPath.value(), systemReplace_, progress);
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
    bool systemReplace_ = true;
};

Result<std::optional<FileStamp>> WindowsFileSystem::findOrdinaryFile(const std::string& path) {
    const std::wstring wide = systemPath(toWide(path));
    if (wide.size() >= kLongestPath) {
        return systemError("Cannot look at", wide, ERROR_FILENAME_EXCED_RANGE);
    }
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
    constexpr DWORD kNotOrdinary =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if ((info.dwFileAttributes & kNotOrdinary) != 0) {
        return std::optional<FileStamp>();
    }
    const std::uint64_t index =
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return std::optional<FileStamp>(FileStamp{toFileTime(info.ftLastWriteTime),
                                              FileIdentity{info.dwVolumeSerialNumber, index},
                                              sizeOf(info)});
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
    auto finalPath = resolveTarget(toWide(path));
    if (!finalPath) {
        return Error{finalPath.reason()};
    }
    const std::wstring& target = finalPath.value();
    removeStaleTemporaries(target);
    const Inherited replaced = inheritedFrom(target);
    TemporaryFile file(target);
    if (auto created = file.create(); !created) {
        return created;
    }
    if (auto written = file.write(content); !written) {
        return written;
    }
    if (auto finished = file.finish(replaced, nullptr); !finished) {
        return finished;
    }
    return file.install(replaced);
}

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}

std::unique_ptr<SettingsStore> makeSystemSettingsStore() {
    return std::make_unique<WindowsFileSystem>();
}

std::unique_ptr<FileSystem> makeFileSystemWithPlainMoves() {
    return std::make_unique<WindowsFileSystem>(false);
}

}  // namespace kelvane::platform
