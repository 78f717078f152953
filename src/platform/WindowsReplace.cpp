// The steps of the safe replace on Windows, as replaceSafely runs them: a copy of a file
// (sparse ranges, the source's change time, ReplaceFileW or a plain move, the replaced
// copy kept) and the settings file's write, sharing the temporary file beside the target.
#include "platform/WindowsReplace.h"

#include <windows.h>

#include <winioctl.h>  // after windows.h, which it needs

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/SafeReplace.h"
#include "platform/TempNames.h"
#include "platform/WindowsCalls.h"
#include "platform/WindowsRecycleBin.h"

namespace kelvane::platform::windows {
namespace {

long ownProcessId() {
    return static_cast<long>(::GetCurrentProcessId());
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
        if (isLeftOverTemporary(toUtf8(entry.cFileName), finalName, ownProcessId(),
                                processIsAlive)) {
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

// Errors of the system's replace-file call that mean the file system does not offer it.
bool replaceUnsupported(DWORD code) {
    return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ||
           code == ERROR_CALL_NOT_IMPLEMENTED;
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

    const std::wstring& finalPath() const { return final_; }
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
    auto made = createUnderFreshName(
        toUtf8(baseNameOf(final_)), ownProcessId(), [&](const std::string& name) -> Result<bool> {
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

// ---- A copy of a file ----------------------------------------------------------------

// The stretches of a sparse source that hold data, in order; nothing for a file that is
// not sparse or whose system cannot say (the copy is then a plain one).
std::optional<std::vector<ByteRange>> allocatedRanges(HANDLE from,
                                                      const BY_HANDLE_FILE_INFORMATION& info) {
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) == 0) {
        return std::nullopt;
    }
    const auto size = static_cast<LONGLONG>(sizeOf(info));
    std::vector<ByteRange> ranges;
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
        for (std::size_t i = 0; i < count; ++i) {
            const auto start = static_cast<std::uint64_t>(answer[i].FileOffset.QuadPart);
            ranges.push_back(
                {start, start + static_cast<std::uint64_t>(answer[i].Length.QuadPart)});
        }
        if (done || count == 0) {
            return ranges;
        }
        query.FileOffset.QuadPart = static_cast<LONGLONG>(ranges.back().end);
        query.Length.QuadPart = size - query.FileOffset.QuadPart;
    }
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

class FileCopySteps final : public ReplaceSteps {
  public:
    FileCopySteps(std::wstring source, const std::wstring& target, const ReplaceTerms& terms,
                  ReplaceWay way)
        : source_(std::move(source)),
          temporary_(target),
          terms_(terms),
          systemReplace_(way.systemReplace),
          keeper_(target, way.keepInFolderOnly) {}

    void removeStaleTemporaries() override {
        windows::removeStaleTemporaries(target());
        keeper_.clearLeftovers();
    }

    Result<std::uint64_t> openContent() override {
        // Sharing only reads: nobody can write the source while it is copied, so its size
        // holds.
        from_ = Handle(::CreateFileW(source_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!from_.valid()) {
            return lastError("Cannot open", source_);
        }
        if (!::GetFileInformationByHandle(from_.get(), &before_)) {
            return lastError("Cannot read the time of", source_);
        }
        changedBefore_ = changeTimeOf(from_.get());
        return sizeOf(before_);
    }

    // A read-only target was made so to protect it, and a target with other names (hard
    // links) would be split by the replacement: its other names would keep the old bytes.
    // Both are refused before anything is written.
    Status checkTarget() override {
        const auto info = lookAt(target());
        if (!info) {
            return lastError("Cannot look at", target());
        }
        if ((info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return refusal("it is no longer an ordinary file");
        }
        if ((info->dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            return refusal("it is read-only");
        }
        // An access list that denies this user writing protects the file as the attribute
        // does, though a folder the user may change would let a move replace it. Asking
        // for write access writes nothing; a file held open elsewhere is not read-only, and
        // the replacement then reports that it is in use.
        Handle writable(::CreateFileW(target().c_str(), FILE_WRITE_DATA, kShareAll, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        if (!writable.valid() && ::GetLastError() == ERROR_ACCESS_DENIED) {
            return refusal("it is read-only for this user");
        }
        if (info->nNumberOfLinks > 1 && !otherNamesAreRecycled(target())) {
            return refusal("it has other names (hard links), which would keep the old content");
        }
        inherited_ = inheritedFrom(target());
        return {};
    }

    // A sparse source on a volume that keeps sparse files is copied range by range, so
    // its holes stay holes; anything else byte for byte.
    Status createTemporary() override {
        if (auto created = temporary_.create(); !created) {
            return created;
        }
        ranges_ = allocatedRanges(from_.get(), before_);
        if (ranges_ && !temporary_.makeSparse()) {
            ranges_.reset();
        }
        return {};
    }

    std::optional<ByteRange> nextData(std::uint64_t at) override {
        if (!ranges_) {
            return at < sizeOf(before_) ? std::optional<ByteRange>({at, sizeOf(before_)})
                                        : std::nullopt;
        }
        for (const ByteRange& range : *ranges_) {
            if (range.end > at) {
                return ByteRange{std::max(range.start, at), range.end};
            }
        }
        return std::nullopt;
    }

    Status copyRange(ByteRange range) override {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(range.start);
        if (!::SetFilePointerEx(from_.get(), position, nullptr, FILE_BEGIN)) {
            return lastError("Cannot read", source_);
        }
        if (auto moved = temporary_.moveTo(range.start); !moved) {
            return moved;
        }
        for (std::uint64_t at = range.start; at < range.end;) {
            const auto wanted =
                static_cast<DWORD>(std::min<std::uint64_t>(range.end - at, kBuffer));
            DWORD got = 0;
            if (!::ReadFile(from_.get(), buffer_.data(), wanted, &got, nullptr)) {
                return lastError("Cannot read", source_);
            }
            if (got == 0) {
                return sourceChanged();
            }
            if (auto written = temporary_.write(std::string_view(buffer_.data(), got)); !written) {
                return written;
            }
            at += got;
        }
        return {};
    }

    Status finishTemporary(std::uint64_t size) override {
        if (ranges_) {
            if (auto extended = temporary_.setLength(size); !extended) {
                return extended;
            }
        }
        // A share that lets another system write despite the share mode (Samba, NFS) may
        // see a rewrite in place that puts the old time back; only the change time tells.
        BY_HANDLE_FILE_INFORMATION after;
        if (!::GetFileInformationByHandle(from_.get(), &after) || sizeOf(after) != size ||
            !sameFiletime(after.ftLastWriteTime, before_.ftLastWriteTime) ||
            changeTimeOf(from_.get()) != changedBefore_) {
            return sourceChanged();
        }
        return temporary_.finish(inherited_, &before_.ftLastWriteTime);
    }

    Status checkTargetUnchanged() override {
        if (!terms_.expectedTarget) {
            return {};
        }
        const auto info = lookAt(target());
        if (!info || !(toFileTime(info->ftLastWriteTime) == terms_.expectedTarget->modified) ||
            sizeOf(*info) != terms_.expectedTarget->size) {
            return Error{std::string(kTargetChangedMeanwhile) + toUtf8(target())};
        }
        return {};
    }

    Result<KeptCopy> keepReplaced() override {
        if (!terms_.keepReplaced) {
            return KeptCopy{};
        }
        return keeper_.keep();
    }

    void dropKept() override { keeper_.drop(); }

    Status install() override { return temporary_.replaceTarget(inherited_, systemReplace_); }

    // Some file systems set their own time on rename; the source's time is set once more
    // on the final file. The new content is in place by then, so a refusal is no failure
    // in itself: the time read back tells the caller whether the target kept the source's
    // time.
    Result<CopiedTimes> settle() override {
        Handle placed = openForAttributes(target(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
        if (placed.valid()) {
            ::SetFileTime(placed.get(), nullptr, nullptr, &before_.ftLastWriteTime);
        } else {
            placed = openForAttributes(target(), FILE_READ_ATTRIBUTES);
        }
        BY_HANDLE_FILE_INFORMATION info;
        if (!placed.valid() || !::GetFileInformationByHandle(placed.get(), &info)) {
            return lastError("Cannot look at", target());
        }
        if (sizeOf(info) != sizeOf(before_)) {
            return Error{"The copy has the wrong size: " + toUtf8(target())};
        }
        return CopiedTimes{toFileTime(before_.ftLastWriteTime), toFileTime(info.ftLastWriteTime),
                           KeptCopy{}};
    }

  private:
    static constexpr std::uint64_t kBuffer = 1 << 20;

    const std::wstring& target() const { return temporary_.finalPath(); }
    Error refusal(const char* why) const {
        return Error{"Cannot replace " + toUtf8(target()) + ": " + why};
    }
    Error sourceChanged() const {
        return Error{"The source changed while it was copied: " + toUtf8(source_)};
    }

    std::wstring source_;
    TemporaryFile temporary_;
    const ReplaceTerms& terms_;
    bool systemReplace_;
    ReplacedCopyKeeper keeper_;
    Handle from_;
    BY_HANDLE_FILE_INFORMATION before_{};
    std::optional<LONGLONG> changedBefore_;
    Inherited inherited_;
    std::optional<std::vector<ByteRange>> ranges_;
    std::vector<char> buffer_ = std::vector<char>(kBuffer);
};

// ---- The settings file's write -------------------------------------------------------

// A small text in the target's place; the target keeps its attributes, read-only
// included (the settings file's reader decides whether it may be written at all).
class TextWriteSteps final : public ReplaceSteps {
  public:
    TextWriteSteps(const std::wstring& target, std::string_view content)
        : temporary_(target), content_(content) {}

    void removeStaleTemporaries() override {
        windows::removeStaleTemporaries(temporary_.finalPath());
    }
    Result<std::uint64_t> openContent() override { return content_.size(); }
    Status checkTarget() override {
        inherited_ = inheritedFrom(temporary_.finalPath());
        return {};
    }
    Status createTemporary() override { return temporary_.create(); }
    std::optional<ByteRange> nextData(std::uint64_t at) override {
        return at < content_.size() ? std::optional<ByteRange>({at, content_.size()})
                                    : std::nullopt;
    }
    Status copyRange(ByteRange range) override {
        return temporary_.write(content_.substr(range.start, range.end - range.start));
    }
    Status finishTemporary(std::uint64_t /*size*/) override {
        return temporary_.finish(inherited_, nullptr);
    }
    Status checkTargetUnchanged() override { return {}; }
    Result<KeptCopy> keepReplaced() override { return KeptCopy{}; }
    void dropKept() override {}
    Status install() override { return temporary_.install(inherited_); }
    Result<CopiedTimes> settle() override { return CopiedTimes{}; }

  private:
    TemporaryFile temporary_;
    std::string_view content_;
    Inherited inherited_;
};

}  // namespace

Result<CopiedTimes> replaceWithCopyOf(const std::wstring& source, const std::wstring& target,
                                      const ReplaceTerms& terms, ReplaceWay way,
                                      const CopyProgressHandler& progress) {
    auto finalPath = resolveTarget(target);
    if (!finalPath) {
        return Error{finalPath.reason()};
    }
    FileCopySteps steps(source, finalPath.value(), terms, way);
    return replaceSafely(steps, toUtf8(source), progress);
}

Status writeAtomically(const std::wstring& target, std::string_view content) {
    auto finalPath = resolveTarget(target);
    if (!finalPath) {
        return Error{finalPath.reason()};
    }
    TextWriteSteps steps(finalPath.value(), content);
    if (auto written = replaceSafely(steps, toUtf8(target)); !written) {
        return Error{written.reason()};
    }
    return {};
}

}  // namespace kelvane::platform::windows
