#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "qt/SingleInstance.h"

namespace kelvane::qt {
namespace {

QString describe(const QString& path, int error) {
    return QStringLiteral("its program file %1 cannot be locked (%2)")
        .arg(path, QString::fromStdString(std::generic_category().message(error)));
}

}  // namespace

SingleInstance::SingleInstance(const QString& executablePath) : executablePath_(executablePath) {}

SingleInstance::~SingleInstance() {
    release();
}

SingleInstance::Outcome SingleInstance::acquire() {
    release();
    failure_.clear();
    // Close-on-exec: a program started from here must not keep the lock after we end.
    descriptor_ = ::open(executablePath_.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor_ < 0) {
        failure_ = describe(executablePath_, errno);
        return Outcome::Unavailable;
    }
    int error = 0;
    do {
        error = ::flock(descriptor_, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    } while (error == EINTR);
    if (error == 0) {
        return Outcome::Held;
    }
    release();
    // Only a live process can hold a flock: the kernel drops it when its holder ends.
    if (error == EWOULDBLOCK) {
        return Outcome::HeldByAnother;
    }
    failure_ = describe(executablePath_, error);
    return Outcome::Unavailable;
}

void SingleInstance::release() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

}  // namespace kelvane::qt
