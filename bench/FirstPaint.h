#pragma once

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>

namespace kelvane::bench {

// Prints the moment of a window's first paint, the moment a user sees it, and ends the
// program soon after.
class FirstPaintQuitter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            // The moment, on the system's clock, so a caller can time fork to first paint
            // without the exit that follows.
            timespec now{};
            ::clock_gettime(CLOCK_REALTIME, &now);
            std::printf("painted %lld\n",
                        static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            // A moment later, so the peak memory also holds what a program leaves to
            // just after its first paint. exit, not quit: quit first asks every window
            // to close, and Kelvane's window leaves closing to the program.
            QTimer::singleShot(kSettleMs, qApp, [] { QApplication::exit(0); });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    static constexpr int kSettleMs = 250;
    bool painted_ = false;
};

inline void quitOnFirstPaint(QWidget* window) {
    window->installEventFilter(new FirstPaintQuitter(window));
}

// The same, telling `stages` first.
template <typename Stages>
void quitOnFirstPaint(QWidget* window, const Stages& stages) {
    class Quitter : public FirstPaintQuitter {
      public:
        Quitter(QObject* parent, const Stages& stages)
            : FirstPaintQuitter(parent), stages_(stages) {}

      protected:
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                stages_.reached("first-paint");
            }
            return FirstPaintQuitter::eventFilter(watched, event);
        }

      private:
        const Stages& stages_;
    };
    window->installEventFilter(new Quitter(window, stages));
}

}  // namespace kelvane::bench
