// The baseline for start-up cost: a bare Qt Widgets program with one window that ends
// as soon as the window has been painted once.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include "FirstPaint.h"
#include "StartupStages.h"

int main(int argc, char** argv) {
    const kelvane::bench::StartupStages stages(argc, argv);
    QApplication application(argc, argv);
    stages.reached("application");
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.resize(461, 242);
    // With --text, one line of text: what every window with words pays for its fonts.
    if (application.arguments().contains(QStringLiteral("--text"))) {
        auto* line = new QLabel(QStringLiteral("Sync Now"), &window);
        line->move(10, 10);
    }
    stages.reached("window");
    kelvane::bench::quitOnFirstPaint(&window, stages);
    window.show();
    return QApplication::exec();
}
