// Kelvane's own start-up, as the program runs it (settings window, start-up sequence
// with the one-instance lock and the settings file, tray icon, and the windows' icon
// right after the first paint), ending a moment after the window's first paint.
// Compared with bare_window by bench/footprint.sh.
#include <QApplication>

#include "FirstPaint.h"
#include "StartupStages.h"
#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "qt/Dialogs.h"
#include "qt/QtFace.h"
#include "qt/SingleInstance.h"

int main(int argc, char** argv) {
    const kelvane::bench::StartupStages stages(argc, argv);
    QApplication application(argc, argv);
    stages.reached("application");
    QApplication::setApplicationName(QStringLiteral("Kelvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    const auto fileSystem = kelvane::platform::makeSystemFileSystem();
    const auto settingsStore = kelvane::platform::makeSystemSettingsStore();
    kelvane::qt::QtDialogs dialogs;
    const QString executable = QApplication::applicationFilePath();
    kelvane::qt::SingleInstance instance(executable);
    if (instance.acquire() == kelvane::qt::SingleInstance::Outcome::HeldByAnother) {
        return 1;
    }
    stages.reached("lock");
    kelvane::qt::QtFace face(dialogs);
    stages.reached("window");
    kelvane::bench::quitOnFirstPaint(&face.window(), stages);
    kelvane::behaviour::Program program(face, *fileSystem, *settingsStore,
                                        executable.toStdString() + ".ini");
    face.connectTo(program);
    stages.reached("program");
    program.start();
    stages.reached("start");
    return QApplication::exec();
}
