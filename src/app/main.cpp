#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <exception>

#include "app/SingleInstance.h"
#include "platform/FileSystem.h"
#include "platform/TerminationSignal.h"
#include "ui/AppIcon.h"
#include "ui/Dialogs.h"
#include "ui/KelvaneForm.h"

namespace {

// Anything unforeseen ends the run with words rather than a crash report. Settings
// writes are atomic, so no half-written file is left behind either way.
int reportUnexpected(kelvane::ui::Dialogs& dialogs, const char* what) {
    dialogs.warning(nullptr, QStringLiteral("Kelvane stopped because of an unexpected error:\n%1")
                                 .arg(QString::fromLocal8Bit(what)));
    return 1;
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
        kelvane::app::SingleInstance instance(executable);
        kelvane::ui::KelvaneForm form(*fileSystem, dialogs);
        QObject::connect(&form, &kelvane::ui::KelvaneForm::unloaded, &application,
                         &QApplication::quit, Qt::QueuedConnection);
        QObject::connect(&application, &QGuiApplication::commitDataRequest, &form,
                         [&form](QSessionManager&) {
                             form.requestClose(kelvane::ui::KelvaneForm::CloseCause::SessionEnd);
                         });
        std::unique_ptr<QSocketNotifier> termination;
        if (const int descriptor = kelvane::platform::terminationSignalDescriptor();
            descriptor >= 0) {
            termination = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
            QObject::connect(
                termination.get(), &QSocketNotifier::activated, &form, [&form, &termination] {
                    termination->setEnabled(false);
                    form.requestClose(kelvane::ui::KelvaneForm::CloseCause::SessionEnd);
                });
        }
        if (!form.Form_Load(executable, [&instance] { return !instance.acquire(); })) {
            return 0;
        }
        form.show();
        return QApplication::exec();
    } catch (const std::exception& error) {
        return reportUnexpected(dialogs, error.what());
    }
}
