#include <windows.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include "app/SingleInstance.h"

namespace kelvane::app {
namespace {

// Windows compares paths without regard to case; so does the name of the mutex.
std::wstring mutexName(const QString& executablePath) {
    const QString canonical =
        QDir::toNativeSeparators(QFileInfo(executablePath).absoluteFilePath()).toLower();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return (QStringLiteral("Global\\Kelvane-") + QString::fromLatin1(hash)).toStdWString();
}

}  // namespace

SingleInstance::SingleInstance(const QString& executablePath) : executablePath_(executablePath) {}

SingleInstance::~SingleInstance() {
    release();
}

SingleInstance::Outcome SingleInstance::acquire() {
    release();
    failure_.clear();
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, mutexName(executablePath_).c_str());
    const DWORD error = ::GetLastError();
    if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) {
        mutex_ = mutex;
        return Outcome::Held;
    }
    if (mutex != nullptr) {
        ::CloseHandle(mutex);
    }
    // The system drops a named mutex with its last holder, so it exists only while a copy
    // runs; one made by a copy under another account is there but not ours to open.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
        return Outcome::HeldByAnother;
    }
    failure_ = QStringLiteral("the system refused its lock (error %1)").arg(error);
    return Outcome::Unavailable;
}

void SingleInstance::release() {
    if (mutex_ != nullptr) {
        ::CloseHandle(static_cast<HANDLE>(mutex_));
        mutex_ = nullptr;
    }
}

}  // namespace kelvane::app
