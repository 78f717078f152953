#pragma once

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace kelvane::bench {

// Ends the program right after a window's first paint: the moment a user sees it.
class FirstPaintQuitter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            // exit, not quit: quit first asks every window to close, and Kelvane's
            // window leaves closing to the program.
            QTimer::singleShot(0, qApp, [] { QApplication::exit(0); });
        }
        return QObject::eventFilter(watched, event);
    }
};

inline void quitOnFirstPaint(QWidget* window) {
    window->installEventFilter(new FirstPaintQuitter(window));
}

}  // namespace kelvane::bench
