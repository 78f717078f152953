// Kelvane's own start-up, as the program runs it (icon, settings window, start-up
// sequence with the one-instance lock and the settings file, tray icon), ending right
// after the window's first paint. Compared with bare_window by bench/footprint.sh.
#include <QApplication>

#include "FirstPaint.h"
#include "app/SingleInstance.h"
#include "platform/FileSystem.h"
#include "ui/AppIcon.h"
#include "ui/Dialogs.h"
#include "ui/KelvaneForm.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(kelvane::ui::applicationIcon());
    const auto fileSystem = kelvane::platform::makeSystemFileSystem();
    kelvane::ui::QtDialogs dialogs;
    const QString executable = QApplication::applicationFilePath();
    kelvane::app::SingleInstance instance(executable);
    kelvane::ui::KelvaneForm form(*fileSystem, dialogs);
    const auto anotherInstanceRunning = [&instance] {
        return instance.acquire() == kelvane::app::SingleInstance::Outcome::HeldByAnother;
    };
    if (!form.Form_Load(executable, anotherInstanceRunning)) {
        return 1;
    }
    kelvane::bench::quitOnFirstPaint(&form);
    form.show();
    return QApplication::exec();
}
