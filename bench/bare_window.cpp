// The baseline for start-up cost: a bare Qt Widgets program with one window that ends
// as soon as the window has been painted once.
#include <QApplication>
#include <QWidget>

#include "FirstPaint.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.resize(461, 242);
    kelvane::bench::quitOnFirstPaint(&window);
    window.show();
    return QApplication::exec();
}
