#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kelvane::ui {
namespace {

int showBox(QWidget* parent, const QString& text, QMessageBox::Icon icon,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QString(),
                    QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), buttons,
                    parent);
    // The texts can name paths and carry reasons from the system: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok);
    return box.exec();
}

}  // namespace

void QtDialogs::message(QWidget* parent, const QString& text) {
    showBox(parent, text, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok);
}

void QtDialogs::information(QWidget* parent, const QString& text) {
    showBox(parent, text, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok);
}

void QtDialogs::warning(QWidget* parent, const QString& text) {
    showBox(parent, text, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtDialogs::askYesNo(QWidget* parent, const QString& text) {
    return showBox(parent, text, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::No) == QMessageBox::Yes;
}

QString QtDialogs::openFile(QWidget* parent, const QString& title, const QString& startFolder) {
    return QFileDialog::getOpenFileName(parent, title, startFolder, QStringLiteral("All Files (*)"),
                                        nullptr, QFileDialog::HideNameFilterDetails);
}

}  // namespace kelvane::ui
