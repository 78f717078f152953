#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <exception>

#include "qt/SessionEndWatch.h"
#include "qt/SingleInstance.h"
#include "platform/FileSystem.h"
#include "qt/AppIcon.h"
#include "qt/Dialogs.h"
#include "qt/SettingsWindow.h"

namespace {

using kelvane::app::SingleInstance;

// Anything unforeseen ends the run with words rather than a crash report. Settings
// writes are atomic, so no half-written file is left behind either way.
int reportUnexpected(kelvane::ui::Dialogs& dialogs, const char* what) {
    const kelvane::app::SessionEndWatch sessionEnd(dialogs);  // a log-out closes the box
    dialogs.warning(nullptr, QStringLiteral("Kelvane stopped because of an unexpected error:\n%1")
                                 .arg(QString::fromLocal8Bit(what)));
    return 1;
}

// Said once per run, after the window is up, and on standard error for the session's
// log: the program runs, but nothing stops a second copy.
void tellUnprotected(kelvane::ui::Dialogs& dialogs, QWidget* window, const QString& failure) {
    const QString note = QStringLiteral(
                             "Kelvane cannot tell whether another copy of it is running: %1.\n\n"
                             "It runs all the same. Do not start it a second time, or two copies "
                             "will write the same settings and files.")
                             .arg(failure);
    std::fprintf(stderr, "%s\n", note.toLocal8Bit().constData());
    QTimer::singleShot(0, window, [&dialogs, window, note] { dialogs.warning(window, note); });
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.45"));
    // The window hides to the tray: closing the help page must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(kelvane::ui::applicationIcon());

    const auto fileSystem = kelvane::platform::makeSystemFileSystem();
    kelvane::ui::QtDialogs dialogs;
    try {
        const QString executable = QApplication::applicationFilePath();
        SingleInstance instance(executable);
        SingleInstance::Outcome lock = SingleInstance::Outcome::Unavailable;
        kelvane::ui::KelvaneForm form(*fileSystem, dialogs);
        QObject::connect(&form, &kelvane::ui::KelvaneForm::unloaded, &application,
                         &QApplication::quit, Qt::QueuedConnection);
        // Signals are caught from here on, but only a start that is not refused for
        // another copy lets them close (and so save) the window.
        kelvane::app::SessionEndWatch sessionEnd(dialogs);
        const auto anotherInstanceRunning = [&] {
            lock = instance.acquire();
            if (lock == SingleInstance::Outcome::HeldByAnother) {
                return true;
            }
            sessionEnd.setWindow(form);
            return false;
        };
        if (!form.Form_Load(executable, anotherInstanceRunning)) {
            return 0;
        }
        form.show();
        if (lock == SingleInstance::Outcome::Unavailable) {
            tellUnprotected(dialogs, &form, instance.failure());
        }
        return QApplication::exec();
    } catch (const std::exception& error) {
        return reportUnexpected(dialogs, error.what());
    }
}
