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
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }
};

inline void quitOnFirstPaint(QWidget* window) {
    window->installEventFilter(new FirstPaintQuitter(window));
}

}  // namespace kelvane::bench
