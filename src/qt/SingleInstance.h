#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <memory>

class QSocketNotifier;

namespace kelvane::qt {

// One running copy per user and per program path, however it was started (the menu, a
// shell, ssh, cron, sudo). The lock is a listening Unix socket in Linux's abstract
// namespace, named from the user ID and a hash of the program's absolute path:
// - it needs no folder and no environment, and the kernel frees the name when its holder
//   ends in any way, a crash or kill -9 included;
// - the path counts, not the file: a package upgrade that renames a new file over the
//   running one leaves the name as it was, so the next start still finds the running copy;
// - anyone may bind any abstract name, so a start that finds the name taken asks the
//   kernel who listens on it (SO_PEERCRED) and gives way only to a process of its own
//   user. A name taken by another user means the lock cannot be had: the program runs
//   and says so (Unavailable) rather than let someone else's process keep it from
//   starting, or take that process for a copy of it.
// Abstract names belong to a network namespace: a copy started in another one (a sandbox
// with a network of its own, `unshare -n`) does not meet this lock.
class SingleInstance {
  public:
    enum class Outcome {
        Held,           // this process is the one copy
        HeldByAnother,  // a live copy of the same program path, of the same user, runs
        Unavailable,    // the lock could not be taken at all; failure() says why
    };

    // The lock of the running user; a test names another user to take that user's name,
    // as a process squatting it would.
    explicit SingleInstance(const QString& executablePath, uid_t user = ::getuid());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Outcome acquire();
    // Why the lock could not be taken, in words for the user; empty otherwise.
    QString failure() const { return failure_; }

    // The socket's abstract name, without the leading NUL byte.
    static QByteArray lockName(const QString& executablePath, uid_t user);

  private:
    enum class Claim { Taken, NameInUse, Failed };
    enum class Holder { SameUser, OtherUser, Silent, Failed };

    Claim claimName();
    Holder askHolder();
    Holder cannotAsk(int error);
    QString lockInWords() const;
    void answerKnocks();
    void release();

    QString executablePath_;
    uid_t user_;
    QByteArray name_;
    QString failure_;
    int listener_ = -1;  // the socket whose name is the lock, while it is held
    std::unique_ptr<QSocketNotifier> knocks_;
};

}  // namespace kelvane::qt
