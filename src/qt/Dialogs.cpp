#include "qt/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "qt/AppIcon.h"

namespace kelvane::qt {
namespace {

// The box with its text, buttons and icon, but not yet shown.
void prepareBox(QMessageBox& box, const QString& text, QMessageBox::Icon icon,
                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    box.setIcon(icon);
    box.setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setStandardButtons(buttons);
    // The texts can name paths and carry reasons from the system: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok);
}

}  // namespace

int QtDialogs::run(QDialog& dialog) {
    if (dismissed_) {
        return QDialog::Rejected;
    }
    giveWindowsTheApplicationIcon();  // a box at start-up comes before the window's paint
    open_.append(&dialog);
    const int result = dialog.exec();
    open_.removeAll(&dialog);
    return result;
}

void QtDialogs::dismissAll() {
    dismissed_ = true;
    // Each dialog's own loop returns once control goes back to it; nothing waits here.
    for (const QPointer<QDialog>& dialog : std::as_const(open_)) {
        if (dialog) {
            dialog->reject();
        }
    }
}

void QtDialogs::message(QWidget* parent, const QString& text) {
    QMessageBox box(parent);
    prepareBox(box, text, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok);
    run(box);
}

void QtDialogs::information(QWidget* parent, const QString& text) {
    QMessageBox box(parent);
    prepareBox(box, text, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok);
    run(box);
}

void QtDialogs::warning(QWidget* parent, const QString& text) {
    QMessageBox box(parent);
    prepareBox(box, text, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok);
    run(box);
}

bool QtDialogs::askYesNo(QWidget* parent, const QString& text) {
    QMessageBox box(parent);
    prepareBox(box, text, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::No);
    return run(box) == QMessageBox::Yes;
}

QString QtDialogs::openFile(QWidget* parent, const QString& title, const QString& startFolder) {
    QFileDialog dialog(parent, title, startFolder, QStringLiteral("All Files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace kelvane::qt
