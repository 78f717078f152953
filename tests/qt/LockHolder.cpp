// Takes the single-instance lock for an executable path and reports what happened:
// prints "held" and waits for the given number of milliseconds, or prints "refused", or
// "unavailable: " and the reason the lock could not be taken. With a user ID it takes
// that user's lock instead of its own, as a process squatting the name would.
#include <QCoreApplication>
#include <QThread>
#include <cstdio>

#include "qt/SingleInstance.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: kelvane_lock_holder EXECUTABLE MILLISECONDS [USER_ID]\n");
        return 2;
    }
    using kelvane::qt::SingleInstance;
    const uid_t user = argc > 3 ? static_cast<uid_t>(QByteArray(argv[3]).toUInt()) : ::getuid();
    SingleInstance instance(QString::fromLocal8Bit(argv[1]), user);
    switch (instance.acquire()) {
        case SingleInstance::Outcome::HeldByAnother:
            std::puts("refused");
            return 0;
        case SingleInstance::Outcome::Unavailable:
            std::printf("unavailable: %s\n", instance.failure().toLocal8Bit().constData());
            return 0;
        case SingleInstance::Outcome::Held:
            break;
    }
    std::puts("held");
    std::fflush(stdout);
    QThread::msleep(static_cast<unsigned long>(QByteArray(argv[2]).toLong()));
    return 0;
}
