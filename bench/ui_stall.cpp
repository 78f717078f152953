// How long the window stops answering while a pass copies a large file. A 10 ms heartbeat
// timer runs on the user-interface thread; "Sync Now" is pressed through the real button,
// and the longest gap between two heartbeats until the last-sync line shows the outcome
// is the longest time the window, the help page and the tray icon could not answer.
//
// usage: kelvane_ui_stall FOLDER [MiB=1024]
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "qt/Dialogs.h"
#include "qt/QtFace.h"

namespace fs = std::filesystem;

namespace {

template <typename Widget>
Widget* control(QWidget& window, const char* name) {
    auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
    if (widget == nullptr) {
        std::fprintf(stderr, "no control %s\n", name);
        std::exit(1);
    }
    return widget;
}

// Records the longest gap between heartbeats from start() on.
class Heartbeat {
  public:
    Heartbeat() {
        timer_.setInterval(10);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { beat(); });
    }
    void start() {
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    qint64 longestGapMs() const { return longest_; }
    int beats() const { return beats_; }

  private:
    void beat() {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
        ++beats_;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    int beats_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [MiB=1024]\n", argv[0]);
        return 2;
    }
    const fs::path folder = argv[1];
    const long mebibytes = argc > 2 ? std::atol(argv[2]) : 1024;
    fs::create_directories(folder / "a");
    fs::create_directories(folder / "b");
    const fs::path source = folder / "a" / "big.bin";
    const fs::path target = folder / "b" / "big.bin";
    kelvane::bench::makeSource(source.string(), mebibytes);
    std::ofstream(target) << "old";
    fs::last_write_time(target, fs::last_write_time(source) - std::chrono::hours(1));

    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const auto fileSystem = kelvane::platform::makeSystemFileSystem();
    const auto settingsStore = kelvane::platform::makeSystemSettingsStore();
    kelvane::qt::QtDialogs dialogs;
    kelvane::qt::QtFace face(dialogs);
    kelvane::behaviour::Program program(face, *fileSystem, *settingsStore,
                                        (folder / "Kelvane.ini").string());
    face.connectTo(program);
    program.start();
    QWidget& form = face.window();
    control<QLineEdit>(form, "File1Text")->setText(QString::fromStdString(source.string()));
    control<QLineEdit>(form, "File2Text")->setText(QString::fromStdString(target.string()));
    control<QCheckBox>(form, "File1Selected")->setChecked(true);
    control<QCheckBox>(form, "File2Selected")->setChecked(true);
    auto* lastSync = control<QLabel>(form, "LastSyncLabel");

    Heartbeat heartbeat;
    QElapsedTimer passClock;
    qint64 passMs = 0;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (lastSync->text().contains(QStringLiteral("updated")) ||
            lastSync->text().startsWith(QStringLiteral("Sync failed"))) {
            passMs = passClock.elapsed();
            QApplication::exit(0);  // not quit(): that first asks the windows to close
        }
    });
    QTimer::singleShot(200, [&] {
        heartbeat.start();
        watch.start();
        passClock.start();
        control<QPushButton>(form, "SyncNowCommand")->click();
    });
    QApplication::exec();
    face.hideWindow();

    std::printf("pass of %ld MiB: %lld ms; heartbeats: %d; longest UI stall: %lld ms (%s)\n",
                mebibytes, static_cast<long long>(passMs), heartbeat.beats(),
                static_cast<long long>(heartbeat.longestGapMs()), qPrintable(lastSync->text()));
    fs::remove_all(folder);
    return lastSync->text().contains(QStringLiteral("updated")) ? 0 : 1;
}
