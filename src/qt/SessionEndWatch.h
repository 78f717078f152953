#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class QSocketNotifier;

namespace kelvane::qt {
class Dialogs;
class KelvaneForm;
}  // namespace kelvane::qt

namespace kelvane::qt {

// Ends the run in order when the desktop session ends. From the moment it is made, every
// SIGTERM and SIGHUP, and the session manager's request, close whatever box or dialog is
// open without waiting for an answer. Once it is given the window (a start that is not
// refused for another copy), they also ask the window to close as a session end does: it
// saves, unloads, and the program quits. A refused start is never given the window, so
// it just ends with its box and cannot write the other copy's settings.
class SessionEndWatch : public QObject {
  public:
    explicit SessionEndWatch(ui::Dialogs& dialogs);
    ~SessionEndWatch() override;

    void setWindow(ui::KelvaneForm& form);

  private:
    void signalled();
    void sessionEnds();

    ui::Dialogs& dialogs_;
    QPointer<ui::KelvaneForm> form_;
    std::unique_ptr<QSocketNotifier> signals_;
};

}  // namespace kelvane::qt
