#include "qt/QtFace.h"

#include <QDir>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <cmath>

#include "qt/AppIcon.h"
#include "qt/Dialogs.h"
#include "qt/Metrics.h"

namespace kelvane::qt {
namespace {

using behaviour::StatusLook;
using behaviour::WindowPosition;
using behaviour::WindowState;

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

QtFace::QtFace(Dialogs& dialogs) : dialogs_(dialogs) {
    timer_.setObjectName(QStringLiteral("Timer1"));
    timer_.setTimerType(Qt::CoarseTimer);
}

QtFace::~QtFace() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void QtFace::connectTo(behaviour::Program& program) {
    program_ = &program;
    for (int slot = 1; slot <= 3; ++slot) {
        connect(row(slot).browse, &QPushButton::clicked, this,
                [&program, slot] { program.browseClicked(slot); });
    }
    const auto to = [&program](void (behaviour::Program::*action)()) {
        return [&program, action] { (program.*action)(); };
    };
    connect(window_.syncNow, &QPushButton::clicked, this, to(&behaviour::Program::syncNowClicked));
    connect(window_.autoSync, &QPushButton::clicked, this,
            to(&behaviour::Program::autoSyncClicked));
    connect(window_.help, &QPushButton::clicked, this, to(&behaviour::Program::helpClicked));
    connect(window_.hideToTray, &QPushButton::clicked, this,
            to(&behaviour::Program::hideToTrayClicked));
    connect(&timer_, &QTimer::timeout, this, to(&behaviour::Program::timerTicked));
    connect(window_.showSettingsEntry, &QAction::triggered, this,
            to(&behaviour::Program::showSettingsChosen));
    connect(window_.showHelpEntry, &QAction::triggered, this,
            to(&behaviour::Program::showHelpChosen));
    connect(window_.exitEntry, &QAction::triggered, this, to(&behaviour::Program::exitChosen));
    connect(window_.trayMenu, &QMenu::aboutToShow, this, to(&behaviour::Program::trayMenuOpening));
    connect(window_.sessionStartEntry, &QAction::triggered, this,
            to(&behaviour::Program::sessionStartChosen));
    connect(&window_, &SettingsWindow::closeAsked, this,
            [&program] { program.closeRequested(behaviour::CloseCause::UserCommand); });
}

SlotRow& QtFace::row(int slot) {
    return window_.rows.at(static_cast<std::size_t>(slot - 1));
}
const SlotRow& QtFace::row(int slot) const {
    return window_.rows.at(static_cast<std::size_t>(slot - 1));
}

// ---- The controls ------------------------------------------------------------------------

void QtFace::setTitle(const std::string& title) {
    window_.setWindowTitle(fromUtf8(title));
}

std::string QtFace::pathText(int slot) const {
    return row(slot).path->text().toStdString();
}

void QtFace::setPathText(int slot, const std::string& text) {
    row(slot).path->setText(fromUtf8(text));
}

behaviour::Tick QtFace::tickState(int slot) const {
    return row(slot).tick->tick();
}

void QtFace::setTickState(int slot, behaviour::Tick tick) {
    row(slot).tick->setTick(tick);
}

std::string QtFace::intervalText() const {
    return window_.interval->text().toStdString();
}

void QtFace::setIntervalText(const std::string& text) {
    window_.interval->setText(fromUtf8(text));
}

void QtFace::lockSlots(bool locked) {
    window_.lockSlots(locked);
}

void QtFace::setAutoSyncBadge(bool on) {
    window_.setAutoSyncBadge(on);
}

void QtFace::showStatus(const std::string& text, StatusLook look, const std::string& detail) {
    window_.showStatus(fromUtf8(text), look != StatusLook::Normal,
                       toQColor(look == StatusLook::Failure ? design::kFailureText : design::kText),
                       fromUtf8(detail));
}

// ---- The window and the help page ---------------------------------------------------------

WindowState QtFace::windowState() const {
    if (!window_.isVisible()) {
        return WindowState::Hidden;
    }
    return window_.isMinimized() ? WindowState::Minimised : WindowState::Shown;
}

void QtFace::showWindow() {
    window_.show();
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.raise();
    window_.activateWindow();
}

void QtFace::hideWindow() {
    window_.hide();
}

void QtFace::minimiseWindow() {
    window_.showMinimized();
}

WindowPosition QtFace::windowPosition() const {
    return {std::round(toTwips(window_.pos().y(), &window_)),
            std::round(toTwips(window_.pos().x(), &window_))};
}

void QtFace::moveWindow(WindowPosition position) {
    window_.move(toPixels(position.left, &window_), toPixels(position.top, &window_));
}

// Any overlap with a screen keeps the place the user chose.
bool QtFace::isOnAnyScreen(WindowPosition position) const {
    const QRect frame(QPoint(toPixels(position.left, &window_), toPixels(position.top, &window_)),
                      window_.frameGeometry().size());
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(frame)) {
            return true;
        }
    }
    return false;
}

void QtFace::moveToPrimaryScreen() {
    window_.centreOnPrimaryScreen();
}

void QtFace::openHelp(bool ownedByWindow) {
    openHelpWindow(help_, &window_, QString::fromLatin1(behaviour::kVersion),
                   ownedByWindow ? &window_ : nullptr);
}

void QtFace::closeHelp() {
    if (help_) {
        help_->close();
        delete help_;
    }
}

// ---- Boxes ----------------------------------------------------------------------------------

void QtFace::showMessage(behaviour::BoxKind kind, const std::string& text) {
    switch (kind) {
        case behaviour::BoxKind::Plain:
            dialogs_.message(&window_, fromUtf8(text));
            break;
        case behaviour::BoxKind::Information:
            dialogs_.information(&window_, fromUtf8(text));
            break;
        case behaviour::BoxKind::Warning:
            dialogs_.warning(&window_, fromUtf8(text));
            break;
    }
}

bool QtFace::askYesNo(const std::string& text) {
    return dialogs_.askYesNo(&window_, fromUtf8(text));
}

std::optional<std::string> QtFace::chooseFile(const std::string& title, const std::string& folder) {
    const QString chosen = dialogs_.openFile(&window_, fromUtf8(title), fromUtf8(folder));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    // Qt hands back "/" on every system; show the path as the system's own dialog would.
    return QDir::toNativeSeparators(chosen).toStdString();
}

void QtFace::dismissBoxes() {
    dialogs_.dismissAll();
}

// ---- The tray icon --------------------------------------------------------------------------

bool QtFace::addTrayIcon() {
    tray_ = std::make_unique<TrayIcon>(applicationIcon(), window_.trayMenu);
    if (program_ != nullptr) {
        connect(tray_.get(), &TrayIcon::leftClicked, this, [this] { program_->trayIconClicked(); });
    }
    tray_->add();
    return TrayIcon::trayAvailable() && tray_->isShown();
}

void QtFace::removeTrayIcon() {
    if (tray_) {
        tray_->remove();
    }
}

void QtFace::notifyFromTray(const std::string& text) {
    if (tray_) {
        tray_->notify(fromUtf8(text));
    }
}

void QtFace::showSessionStartEntry(const std::string& caption, bool ticked) {
    window_.sessionStartEntry->setText(fromUtf8(caption));
    window_.sessionStartEntry->setChecked(ticked);
    window_.sessionStartEntry->setVisible(true);
}

// ---- Time and threads -----------------------------------------------------------------------

void QtFace::startTimer(int milliseconds) {
    timer_.start(milliseconds);
}

void QtFace::stopTimer() {
    timer_.stop();
}

std::string QtFace::statusDateTime() const {
    return qt::statusDateTime(now(), QLocale::system()).toStdString();
}

void QtFace::runInBackground(std::function<void()> work) {
    // One pass at a time: the last one has sent its outcome and is at its end.
    if (worker_.joinable()) {
        worker_.join();
    }
    working_ = true;
    worker_ = std::thread([this, work = std::move(work)] {
        work();
        working_ = false;
    });
}

void QtFace::runOnUiThread(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void QtFace::endProgram() {
    timer_.stop();
    window_.hide();
    emit ended();
}

}  // namespace kelvane::qt
