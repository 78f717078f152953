#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace kelvane::qt {

class Dialogs;

// Ends the run in order when the desktop session ends. From the moment it is made, every
// SIGTERM and SIGHUP, and the session manager's request, close whatever box or dialog is
// open without waiting for an answer, then run onSessionEnd: once the program runs, it
// saves and ends as a session end does. A refused start never sets it, so it just ends
// with its box and cannot write the other copy's settings.
class SessionEndWatch : public QObject {
  public:
    explicit SessionEndWatch(Dialogs& dialogs);
    ~SessionEndWatch() override;

    // What a session end does once the boxes are closed.
    std::function<void()> onSessionEnd;

  private:
    void signalled();
    void sessionEnds();

    Dialogs& dialogs_;
    std::unique_ptr<QSocketNotifier> signals_;
};

}  // namespace kelvane::qt
