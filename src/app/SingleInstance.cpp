#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kelvane::app {
namespace {

QString lockFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::tempPath();
    }
    return folder;
}

}  // namespace

SingleInstance::SingleInstance(const QString& executablePath) {
    const QString canonical = QFileInfo(executablePath).absoluteFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    path_ = lockFolder() + QStringLiteral("/kelvane-") + QString::fromLatin1(hash) +
            QStringLiteral(".lock");
}

bool SingleInstance::acquire() {
    lock_ = std::make_unique<QLockFile>(path_);
    // Age alone never makes a lock stale: only a holder that is no longer running does.
    lock_->setStaleLockTime(0);
    return lock_->tryLock(0);
}

}  // namespace kelvane::app
