#pragma once

#include <QString>

namespace kelvane::qt {

// One running copy per executable file, however it was started. The lock is a flock on
// the executable file itself: the kernel releases it when the holder ends in any way (a
// crash or kill -9 included), it needs no folder to write and no environment, and every
// start of the same file meets the same lock whichever user, shell or session it comes
// from.
class SingleInstance {
  public:
    enum class Outcome {
        Held,           // this process is the one copy
        HeldByAnother,  // a live copy of the same executable holds the lock
        Unavailable,    // the lock could not be taken at all; failure() says why
    };

    explicit SingleInstance(const QString& executablePath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Outcome acquire();
    // Why the lock could not be taken, in words for the user; empty otherwise.
    QString failure() const { return failure_; }

  private:
    void release();

    QString executablePath_;
    QString failure_;
    int descriptor_ = -1;  // the executable, open while the lock is held
};

}  // namespace kelvane::qt
