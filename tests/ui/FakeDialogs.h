#pragma once

#include <QStringList>
#include <functional>

#include "ui/Dialogs.h"

namespace kelvane::testing {

// Answers every modal question at once and remembers what was asked.
class FakeDialogs final : public ui::Dialogs {
  public:
    QStringList messages;  // plain OK boxes
    QStringList informations;
    QStringList warnings;
    QStringList questions;
    bool answerYes = false;
    QStringList filesToChoose;  // next answers of the file dialog; empty text cancels
    QStringList startFolders;
    std::function<void()> whileMessageShown;

    void message(QWidget*, const QString& text) override {
        messages << text;
        if (whileMessageShown) {
            whileMessageShown();
        }
    }
    void information(QWidget*, const QString& text) override { informations << text; }
    void warning(QWidget*, const QString& text) override { warnings << text; }
    bool askYesNo(QWidget*, const QString& text) override {
        questions << text;
        return answerYes;
    }
    QString openFile(QWidget*, const QString&, const QString& startFolder) override {
        startFolders << startFolder;
        return filesToChoose.isEmpty() ? QString() : filesToChoose.takeFirst();
    }
};

}  // namespace kelvane::testing
