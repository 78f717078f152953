#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

class QWidget;

namespace kelvane::qt {

// Every modal question the program asks, behind one seam so tests can answer them
// without a blocking event loop.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // OK only, no icon: refusals and interval messages.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // OK only, information icon.
    virtual void information(QWidget* parent, const QString& text) = 0;
    // OK only, warning icon: a settings file that could not be written.
    virtual void warning(QWidget* parent, const QString& text) = 0;
    // Yes and No, No the default, warning icon. True for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    // A file to open; empty when the user cancels.
    virtual QString openFile(QWidget* parent, const QString& title, const QString& startFolder) = 0;
    // The session is ending: closes every open box and dialog as if it were cancelled
    // (OK, No, no file) and answers every later one the same way without showing it, so
    // no code waits on a user who has gone.
    virtual void dismissAll() = 0;
};

// The real boxes: application-modal, kept above other windows, with no title of their
// own so the title bar shows the application's name.
class QtDialogs final : public Dialogs {
  public:
    void message(QWidget* parent, const QString& text) override;
    void information(QWidget* parent, const QString& text) override;
    void warning(QWidget* parent, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    QString openFile(QWidget* parent, const QString& title, const QString& startFolder) override;
    void dismissAll() override;

  private:
    // Runs the dialog unless the session is ending; its result, or Rejected.
    int run(QDialog& dialog);

    QList<QPointer<QDialog>> open_;
    bool dismissed_ = false;
};

}  // namespace kelvane::qt
