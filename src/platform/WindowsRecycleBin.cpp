// Replaced copies on Windows: a second name of the target recycled through the shell, or
// kept in a hidden folder beside it where the volume has no Recycle Bin.
#include "platform/WindowsRecycleBin.h"

#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs
#include <shobjidl.h>

#include <ctime>
#include <cwctype>
#include <optional>
#include <vector>

#include "platform/ComPointer.h"
#include "platform/ReplacedCopies.h"
#include "platform/TempNames.h"
#include "platform/WindowsCalls.h"

namespace kelvane::platform::windows {
namespace {

std::tm localNow() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    std::tm local{};
    local.tm_year = now.wYear - 1900;
    local.tm_mon = now.wMonth - 1;
    local.tm_mday = now.wDay;
    local.tm_hour = now.wHour;
    local.tm_min = now.wMinute;
    local.tm_sec = now.wSecond;
    return local;
}

// The first of the file's replaced-copy names for this second that is free in `folder`
// (which ends in its separator).
std::optional<std::wstring> freeReplacedName(const std::wstring& folder,
                                             const std::string& fileName) {
    const auto name = freeReplacedCopyName(fileName, localNow(), [&](const std::string& name) {
        return ::GetFileAttributesW((folder + toWide(name)).c_str()) == INVALID_FILE_ATTRIBUTES &&
               ::GetLastError() == ERROR_FILE_NOT_FOUND;
    });
    return name ? std::optional<std::wstring>(folder + toWide(*name)) : std::nullopt;
}

// A second name for the target's content: a hard link, which costs no space; where the
// volume has none (FAT, exFAT, some shares), a copy. A copy is made under a temporary name
// beside the target, which the next pass removes if this one is killed midway, and only
// then given its name, so no torn copy ever bears it. Not hidden: a hard link shares the
// target's attributes, and a restored copy should be seen.
Status makeSecondName(const std::wstring& target, const std::wstring& name) {
    if (::CreateHardLinkW(name.c_str(), target.c_str(), nullptr)) {
        return {};
    }
    const long pid = static_cast<long>(::GetCurrentProcessId());
    const std::wstring temporary =
        folderPrefixOf(target) +
        toWide(temporaryName(toUtf8(baseNameOf(target)), pid,
                             randomNamePart(static_cast<std::uint64_t>(pid))));
    if (!::CopyFileExW(target.c_str(), temporary.c_str(), nullptr, nullptr, nullptr,
                       COPY_FILE_FAIL_IF_EXISTS)) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS) {
            removeFile(temporary);  // what a copy cut short left
        }
        return systemError("Cannot keep a copy of", target, code);
    }
    if (!::MoveFileExW(temporary.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = ::GetLastError();
        removeFile(temporary);
        return systemError("Cannot keep a copy of", target, code);
    }
    return {};
}

std::wstring volumeRootOf(const std::wstring& path) {
    std::vector<wchar_t> root(path.size() + MAX_PATH + 1);
    if (!::GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
        return {};
    }
    return root.data();
}

// Removable drives and network shares have no Recycle Bin: what the shell "recycles"
// there is deleted outright.
bool volumeHasRecycleBin(const std::wstring& root) {
    if (root.empty() || (root.rfind(L"\\\\", 0) == 0 && root.rfind(L"\\\\?\\", 0) != 0)) {
        return false;  // \\server\share
    }
    const UINT type = ::GetDriveTypeW(root.c_str());
    return type != DRIVE_REMOVABLE && type != DRIVE_REMOTE && type != DRIVE_NO_ROOT_DIR;
}

std::optional<std::int64_t> itemsInRecycleBin(const std::wstring& root) {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    if (FAILED(::SHQueryRecycleBinW(root.c_str(), &info))) {
        return std::nullopt;
    }
    return info.i64NumItems;
}

// Told by the shell what became of the item it deleted: only an item that reached the
// Recycle Bin comes with its new self there.
class DeleteWatch final : public IFileOperationProgressSink {
  public:
    bool told = false;
    bool recycled = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == __uuidof(IUnknown) || id == __uuidof(IFileOperationProgressSink)) {
            *object = static_cast<IFileOperationProgressSink*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // It lives on the stack of the one operation it watches.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem*, HRESULT deleted,
                                             IShellItem* inTheBin) override {
        told = true;
        recycled = SUCCEEDED(deleted) && inTheBin != nullptr;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT,
                                             IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT,
                                           IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT,
                                           IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD, IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT,
                                          IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }
};

// COM for this thread while the object lives, where the thread has not chosen otherwise.
class ComApartment {
  public:
    ComApartment()
        : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            ::CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool ready() const { return SUCCEEDED(result_); }

  private:
    HRESULT result_;
};

enum class Recycling {
    Recycled,
    NotRecycled,  // refused, or deleted outright
    Unavailable,  // this system offers no IFileOperation (Windows before 8, Wine 8)
};

// The shell's file operation tells for each item whether it reached the Recycle Bin.
Recycling recycleWithFileOperation(const std::wstring& path) {
    ComApartment apartment;
    ComPointer<IFileOperation> operation;
    if (!apartment.ready() ||
        FAILED(::CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation,
                                  operation.outVoid())) ||
        FAILED(operation->SetOperationFlags(FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT |
                                            FOF_NOERRORUI | FOFX_RECYCLEONDELETE |
                                            FOFX_EARLYFAILURE))) {
        return Recycling::Unavailable;
    }
    ComPointer<IShellItem> item;
    if (FAILED(
            ::SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem, item.outVoid()))) {
        return Recycling::NotRecycled;
    }
    DeleteWatch watch;
    if (FAILED(operation->DeleteItem(item.get(), &watch))) {
        return Recycling::Unavailable;
    }
    const HRESULT performed = operation->PerformOperations();
    if (!watch.told && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return Recycling::Unavailable;  // nothing was done: an operation only in name
    }
    BOOL aborted = FALSE;
    operation->GetAnyOperationsAborted(&aborted);
    return SUCCEEDED(performed) && !aborted && watch.recycled ? Recycling::Recycled
                                                              : Recycling::NotRecycled;
}

// The older shell call says nothing of what became of an item, so the volume's Recycle
// Bin is counted before and after.
bool recycleWithShellCall(const std::wstring& path, const std::wstring& root) {
    const auto before = itemsInRecycleBin(root);
    if (!before) {
        return false;
    }
    std::wstring from = path;
    from.push_back(L'\0');  // a list of names, ended by an empty one
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    if (::SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted ||
        ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const auto after = itemsInRecycleBin(root);
    return after && *after > *before;
}

// Recycles one file through the shell. True only when it reached the Recycle Bin: the
// shell deletes outright what its bin cannot take (too large, recycling switched off for
// the drive), and asks nothing when told not to ask.
bool recycle(const std::wstring& path, const std::wstring& root) {
    if (path.size() >= MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) {
        return false;  // the shell's file operations take no longer paths
    }
    switch (recycleWithFileOperation(path)) {
        case Recycling::Recycled:
            return true;
        case Recycling::NotRecycled:
            return false;
        case Recycling::Unavailable:
            break;
    }
    return recycleWithShellCall(path, root);
}

// The names in `folder` (ending in its separator) that are replaced copies of fileName.
std::vector<std::string> replacedCopiesIn(const std::wstring& folder, const std::string& fileName) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = toUtf8(entry.cFileName);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            isReplacedCopyOf(name, fileName)) {
            names.push_back(std::move(name));
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return names;
}

std::wstring replacedFolderOf(const std::wstring& target) {
    return folderPrefixOf(target) + toWide(kReplacedFolderName);
}

}  // namespace

void ReplacedCopyKeeper::clearLeftovers() {
    const auto info = lookAt(target_);
    if (!info || info->nNumberOfLinks < 2) {
        return;  // no second name, so nothing of ours is left
    }
    const std::string fileName = toUtf8(baseNameOf(target_));
    for (const std::wstring& folder :
         {folderPrefixOf(target_), replacedFolderOf(target_) + L"\\"}) {
        for (const std::string& name : replacedCopiesIn(folder, fileName)) {
            const std::wstring path = folder + toWide(name);
            const auto other = lookAt(path);
            if (other && sameFile(*other, *info)) {
                ::DeleteFileW(path.c_str());  // only a name: the target keeps the content
            }
        }
    }
}

Result<KeptCopy> ReplacedCopyKeeper::keep() {
    keptInFolder_.clear();
    // A target another program holds open without sharing cannot be replaced; found out
    // now, before a name is made that the failed install could not remove again.
    if (!Handle(
             ::CreateFileW(target_.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr))
             .valid()) {
        return lastError("Cannot replace", target_);
    }
    const std::wstring root = volumeRootOf(target_);
    if (!inFolderOnly_ && volumeHasRecycleBin(root)) {
        const auto name = freeReplacedName(folderPrefixOf(target_), toUtf8(baseNameOf(target_)));
        if (name && makeSecondName(target_, *name)) {
            if (recycle(*name, root)) {
                return KeptCopy{KeptCopy::Place::RecycleBin, {}};
            }
            ::DeleteFileW(name->c_str());  // left by a refusal: a name or copy of the target
        }
    }
    return keepInFolder();
}

Result<KeptCopy> ReplacedCopyKeeper::keepInFolder() {
    const std::wstring folder = replacedFolderOf(target_);
    const std::string why = "Cannot keep the replaced copy of " + toUtf8(target_) + ": ";
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return Error{why + lastError("cannot make", folder).reason};
    }
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Error{why + toUtf8(folder) + " is not a folder"};
    }
    ::SetFileAttributesW(folder.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    const std::string fileName = toUtf8(baseNameOf(target_));
    const auto name = freeReplacedName(folder + L"\\", fileName);
    if (!name) {
        return Error{why + "no free name in " + toUtf8(folder)};
    }
    if (auto made = makeSecondName(target_, *name); !made) {
        ::RemoveDirectoryW(folder.c_str());  // only when nothing else is kept
        return Error{why + made.reason()};
    }
    keptInFolder_ = *name;
    for (const std::string& old :
         replacedCopiesBeyondLimit(fileName, replacedCopiesIn(folder + L"\\", fileName))) {
        removeFile(folder + L"\\" + toWide(old));
    }
    return KeptCopy{KeptCopy::Place::Folder, toUtf8(folder)};
}

void ReplacedCopyKeeper::drop() {
    if (!keptInFolder_.empty()) {
        ::DeleteFileW(keptInFolder_.c_str());
        keptInFolder_.clear();
        ::RemoveDirectoryW(replacedFolderOf(target_).c_str());  // only when nothing else is kept
    }
}

bool otherNamesAreRecycled(const std::wstring& target) {
    // Wine (8) lists no names of a file: its FindFirstFileNameW ends the process.
    if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
        return false;
    }
    std::vector<wchar_t> name(kLongestPath + 1);
    DWORD length = static_cast<DWORD>(name.size());
    HANDLE search = ::FindFirstFileNameW(target.c_str(), 0, &length, name.data());
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    int outsideBins = 0;
    do {
        std::wstring found(name.data());
        for (wchar_t& c : found) {
            c = static_cast<wchar_t>(std::towlower(c));
        }
        if (found.find(L"\\$recycle.bin\\") == std::wstring::npos) {
            ++outsideBins;  // the target's own name, or another of the user's
        }
        length = static_cast<DWORD>(name.size());
    } while (::FindNextFileNameW(search, &length, name.data()));
    ::FindClose(search);
    return outsideBins == 1;
}

}  // namespace kelvane::platform::windows
