#include "qt/SingleInstance.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <system_error>

namespace kelvane::qt {
namespace {

// A copy starting at the same moment holds the name between its bind and its listen for
// a few microseconds; a start that meets it then asks again a little later. A name that
// stays silent for longer than this is not held by a starting copy.
constexpr int kAskings = 100;
constexpr unsigned long kPauseBetweenAskingsMs = 2;

struct AbstractAddress {
    sockaddr_un address{};
    socklen_t length = 0;
};

AbstractAddress addressOf(const QByteArray& name) {
    AbstractAddress result;
    result.address.sun_family = AF_UNIX;
    // sun_path[0] stays NUL: a name in the abstract namespace, with no file behind it.
    const auto size = std::min<std::size_t>(static_cast<std::size_t>(name.size()),
                                            sizeof(result.address.sun_path) - 1);
    std::memcpy(result.address.sun_path + 1, name.constData(), size);
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
    return result;
}

const sockaddr* asSocketAddress(const AbstractAddress& address) {
    return reinterpret_cast<const sockaddr*>(&address.address);
}

// Close-on-exec: a program started from here must not keep the name after we end.
// Non-blocking: a holder that never takes a connection cannot stall the start.
int newSocket() {
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

QString reasonOf(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

}  // namespace

SingleInstance::SingleInstance(const QString& executablePath, uid_t user)
    : executablePath_(executablePath), user_(user) {}

SingleInstance::~SingleInstance() {
    release();
}

QByteArray SingleInstance::lockName(const QString& executablePath, uid_t user) {
    // The hash keeps any path within the 107 bytes a socket name may have.
    return "kelvane/" + QByteArray::number(user) + '/' +
           QCryptographicHash::hash(QFile::encodeName(executablePath), QCryptographicHash::Sha256)
               .toHex();
}

SingleInstance::Outcome SingleInstance::acquire() {
    release();
    failure_.clear();
    if (!QDir::isAbsolutePath(executablePath_)) {
        failure_ = QStringLiteral("the path of its program file is not known");
        return Outcome::Unavailable;
    }
    name_ = lockName(executablePath_, user_);
    for (int asking = 1;; ++asking) {
        switch (claimName()) {
            case Claim::Taken:
                answerKnocks();
                return Outcome::Held;
            case Claim::Failed:
                return Outcome::Unavailable;
            case Claim::NameInUse:
                break;
        }
        switch (askHolder()) {
            case Holder::SameUser:
                return Outcome::HeldByAnother;
            case Holder::OtherUser:
            case Holder::Failed:
                return Outcome::Unavailable;
            case Holder::Silent:
                break;
        }
        if (asking == kAskings) {
            failure_ = lockInWords() + QStringLiteral(" is held by a process that does not answer");
            return Outcome::Unavailable;
        }
        QThread::msleep(kPauseBetweenAskingsMs);
    }
}

SingleInstance::Claim SingleInstance::claimName() {
    const auto cannotMake = [this](int error) {
        failure_ = lockInWords() + QStringLiteral(" cannot be made (%1)").arg(reasonOf(error));
        return Claim::Failed;
    };
    const int listener = newSocket();
    if (listener < 0) {
        return cannotMake(errno);
    }
    const AbstractAddress address = addressOf(name_);
    if (::bind(listener, asSocketAddress(address), address.length) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(listener);
        return error == EADDRINUSE ? Claim::NameInUse : cannotMake(error);
    }
    listener_ = listener;
    return Claim::Taken;
}

QString SingleInstance::lockInWords() const {
    return QStringLiteral("the lock for %1 (the socket @%2)")
        .arg(executablePath_, QString::fromLatin1(name_));
}

SingleInstance::Holder SingleInstance::cannotAsk(int error) {
    failure_ = QStringLiteral("the holder of ") + lockInWords() +
               QStringLiteral(" cannot be asked who it is (%1)").arg(reasonOf(error));
    return Holder::Failed;
}

SingleInstance::Holder SingleInstance::askHolder() {
    const int asker = newSocket();
    if (asker < 0) {
        return cannotAsk(errno);
    }
    const AbstractAddress address = addressOf(name_);
    Holder holder = Holder::Silent;
    // Refused: bound but not (yet) listening, or just gone; again: its queue is full.
    if (::connect(asker, asSocketAddress(address), address.length) == 0) {
        // The kernel keeps who made the listening socket; the holder cannot pretend.
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(asker, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
            holder = cannotAsk(errno);
        } else if (peer.uid == user_) {
            holder = Holder::SameUser;
        } else {
            failure_ =
                lockInWords() +
                QStringLiteral(" is held by a process of another user (user ID %1)").arg(peer.uid);
            holder = Holder::OtherUser;
        }
    } else if (errno != ECONNREFUSED && errno != EAGAIN && errno != EINTR) {
        holder = cannotAsk(errno);
    }
    ::close(asker);
    return holder;
}

void SingleInstance::answerKnocks() {
    // A later start connects only to learn who holds the name, which the kernel tells
    // it; taking and closing its connection keeps the queue from filling up.
    knocks_ = std::make_unique<QSocketNotifier>(listener_, QSocketNotifier::Read);
    QObject::connect(knocks_.get(), &QSocketNotifier::activated, [listener = listener_] {
        for (int knock = 0; (knock = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            ::close(knock);
        }
    });
}

void SingleInstance::release() {
    knocks_.reset();
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

}  // namespace kelvane::qt
