#pragma once

#include <QStringList>
#include <functional>

#include "qt/Dialogs.h"

namespace kelvane::testing {

// Answers every modal question at once and remembers what was asked.
class FakeDialogs final : public qt::Dialogs {
  public:
    QStringList messages;  // plain OK boxes
    QStringList informations;
    QStringList warnings;
    QStringList questions;
    bool answerYes = false;
    QStringList filesToChoose;  // next answers of the file dialog; empty text cancels
    QStringList startFolders;
    std::function<void()> whileMessageShown;
    // After dismissAll, as with the real boxes, nothing more is shown or recorded and
    // every question gets its cancel answer.
    int dismissals = 0;

    void message(QWidget*, const QString& text) override {
        if (dismissals > 0) {
            return;
        }
        messages << text;
        if (whileMessageShown) {
            whileMessageShown();
        }
    }
    void information(QWidget*, const QString& text) override {
        if (dismissals == 0) {
            informations << text;
        }
    }
    void warning(QWidget*, const QString& text) override {
        if (dismissals == 0) {
            warnings << text;
        }
    }
    bool askYesNo(QWidget*, const QString& text) override {
        if (dismissals > 0) {
            return false;
        }
        questions << text;
        return answerYes;
    }
    QString openFile(QWidget*, const QString&, const QString& startFolder) override {
        if (dismissals > 0) {
            return QString();
        }
        startFolders << startFolder;
        return filesToChoose.isEmpty() ? QString() : filesToChoose.takeFirst();
    }
    void dismissAll() override { ++dismissals; }
};

}  // namespace kelvane::testing
