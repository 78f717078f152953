// The baseline for start-up cost: a bare Qt Widgets program with one window that ends
// as soon as the window has been painted once.
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "FirstPaint.h"
#include "StartupStages.h"
#include "design/SettingsWindowDesign.h"

namespace {

QWidget* plainWidget(const kelvane::design::Control& control, QWidget* parent) {
    const QString caption =
        QString::fromUtf8(control.caption.data(), static_cast<qsizetype>(control.caption.size()));
    switch (control.kind) {
        case kelvane::design::Kind::Frame: {
            auto* frame = new QFrame(parent);
            frame->setFrameShape(QFrame::StyledPanel);
            return frame;
        }
        case kelvane::design::Kind::Label:
        case kelvane::design::Kind::Badge:
            return new QLabel(caption, parent);
        case kelvane::design::Kind::TickBox:
            return new QCheckBox(parent);
        case kelvane::design::Kind::TextBox:
            return new QLineEdit(caption, parent);
        case kelvane::design::Kind::Button:
            break;
    }
    return new QPushButton(caption, parent);
}

// The settings window's controls as plain widgets at their designed places, in the
// application's font: the floor of any window with those controls, without Kelvane's
// fonts, fitting, settings, tray or screen-reader names.
void addControls(QWidget& window) {
    for (const kelvane::design::Control& control : kelvane::design::kSettingsControls) {
        kelvane::design::Twips place = control.place;
        if (!control.frame.empty()) {
            place.left += kelvane::design::control(control.frame).place.left;
            place.top += kelvane::design::control(control.frame).place.top;
        }
        plainWidget(control, &window)
            ->setGeometry(place.left / 15, place.top / 15, place.width / 15, place.height / 15);
    }
}

}  // namespace

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
    // With --controls, the settings window's controls.
    if (application.arguments().contains(QStringLiteral("--controls"))) {
        addControls(window);
    }
    stages.reached("window");
    kelvane::bench::quitOnFirstPaint(&window, stages);
    window.show();
    return QApplication::exec();
}
