#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace kelvane::app {

// One running copy per user and executable file. The lock lives in the user's runtime
// (or temporary) folder, named after a hash of the executable's path; a lock left by a
// killed process is taken over.
class SingleInstance {
  public:
    explicit SingleInstance(const QString& executablePath);

    // True when this process now holds the lock; false when another copy holds it.
    bool acquire();
    QString lockPath() const { return path_; }

  private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace kelvane::app
