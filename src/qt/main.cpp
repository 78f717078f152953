#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "platform/SessionStart.h"
#include "platform/SettingsStore.h"
#include "qt/AppIcon.h"
#include "qt/Dialogs.h"
#include "qt/QtFace.h"
#include "qt/SessionEndWatch.h"
#include "qt/SingleInstance.h"
#include "settings/SettingsFile.h"

namespace {

using kelvane::qt::SingleInstance;

// Anything unforeseen ends the run with words rather than a crash report. Settings
// writes are atomic, so no half-written file is left behind either way.
int reportUnexpected(kelvane::qt::Dialogs& dialogs, const char* what) {
    const kelvane::qt::SessionEndWatch sessionEnd(dialogs);  // a log-out closes the box
    dialogs.warning(nullptr, QStringLiteral("Kelvane stopped because of an unexpected error:\n%1")
                                 .arg(QString::fromLocal8Bit(what)));
    return 1;
}

// Also on standard error, for the session's log.
std::string unprotectedNote(const QString& failure) {
    const QString note = QStringLiteral(
                             "Kelvane cannot tell whether another copy of it is running: %1.\n\n"
                             "It runs all the same. Do not start it a second time, or two copies "
                             "will write the same settings and files.")
                             .arg(failure);
    std::fprintf(stderr, "%s\n", note.toLocal8Bit().constData());
    return note.toStdString();
}

// The Debian package's build sets KELVANE_SYSTEM_INSTALL: a program in the system's own
// folders keeps no settings beside itself, where root could write them for everyone.
#ifdef KELVANE_SYSTEM_INSTALL
constexpr auto kInstallation = kelvane::settings::Installation::System;
#else
constexpr auto kInstallation = kelvane::settings::Installation::Portable;
#endif

std::string settingsPath(kelvane::platform::SettingsStore& settingsStore,
                         const QString& executable) {
    return kelvane::settings::settingsFilePathFor(
        settingsStore, QDir::toNativeSeparators(executable).toStdString(),
        QDir::separator().toLatin1(), kInstallation);
}

// A copy stuck on a stalled volume may never come back from the kernel, and its thread
// still uses the face and the file system: they must not be destroyed, and waiting for it
// could outlast the session. The settings are saved and the tray icon is gone, so the
// process ends here without its destructors; the system ends the thread with it.
[[noreturn]] void endLeavingAStuckCopy(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

// The start that found another copy running says so and ends; it never writes the
// settings file that copy uses, and a log-out only closes its box.
int run(kelvane::qt::Dialogs& dialogs, kelvane::qt::SessionEndWatch& sessionEnd) {
    const auto fileSystem = kelvane::platform::makeSystemFileSystem();
    const auto settingsStore = kelvane::platform::makeSystemSettingsStore();
    const QString executable = QApplication::applicationFilePath();
    SingleInstance instance(executable);
    const SingleInstance::Outcome lock = instance.acquire();
    if (lock == SingleInstance::Outcome::HeldByAnother) {
        dialogs.information(nullptr,
                            QString::fromStdString(kelvane::behaviour::alreadyRunningMessage()));
        return 0;
    }
    kelvane::qt::QtFace face(dialogs);
    kelvane::behaviour::Program program(face, *fileSystem, *settingsStore,
                                        settingsPath(*settingsStore, executable));
    face.connectTo(program);
    const auto sessionStart = kelvane::platform::makeSystemSessionStart(executable.toStdString());
    program.setSessionStart(*sessionStart);
    // exit, not quit: quit asks every window to close first, and the settings window
    // leaves closing to the program, which has just ended the run.
    QObject::connect(
        &face, &kelvane::qt::QtFace::ended, qApp, [] { QApplication::exit(0); },
        Qt::QueuedConnection);
    sessionEnd.onSessionEnd = [&program] {
        program.closeRequested(kelvane::behaviour::CloseCause::SessionEnd);
    };
    program.start(lock == SingleInstance::Outcome::Unavailable ? unprotectedNote(instance.failure())
                                                               : std::string());
    const int status = program.ended() ? 0 : QApplication::exec();
    sessionEnd.onSessionEnd = nullptr;
    if (face.backgroundWorkRunning()) {
        endLeavingAStuckCopy(status);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.45"));
    // The desktop finds the menu entry (and its icon) by this name, on Wayland too.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.kelvane.Kelvane"));
    // The window hides to the tray: closing the help page must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // The windows' icon comes right after the settings window's first paint.

    kelvane::qt::QtDialogs dialogs;
    try {
        // From here on every SIGTERM and SIGHUP, and the session manager's request, close
        // whatever box is open without waiting for an answer.
        kelvane::qt::SessionEndWatch sessionEnd(dialogs);
        return run(dialogs, sessionEnd);
    } catch (const std::exception& error) {
        return reportUnexpected(dialogs, error.what());
    }
}
