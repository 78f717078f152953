// Takes the single-instance lock for an executable path and reports what happened:
// prints "held" and waits for the given number of milliseconds, or prints "refused".
#include <QCoreApplication>
#include <QThread>
#include <cstdio>

#include "app/SingleInstance.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: kelvane_lock_holder EXECUTABLE MILLISECONDS\n");
        return 2;
    }
    kelvane::app::SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    if (!instance.acquire()) {
        std::puts("refused");
        return 0;
    }
    std::puts("held");
    std::fflush(stdout);
    QThread::msleep(static_cast<unsigned long>(QByteArray(argv[2]).toLong()));
    return 0;
}
