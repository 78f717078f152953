#include "qt/SettingsWindow.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

#include "qt/AppIcon.h"
#include "qt/Metrics.h"

namespace kelvane::qt {
namespace {

// A frame's caption sits on its top border, this far in from its left edge (twips).
constexpr int kFrameCaptionLeft = 120;

QString fromDesign(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont fontOf(design::Font font) {
    switch (font) {
        case design::Font::Default:
            break;
        case design::Font::DefaultBold:
            return windowFont(QString::fromLatin1(kDefaultFamily), kDefaultPointSize, true);
        case design::Font::PathBox:
            return windowFont(QStringLiteral("Calibri"), 9.75);
        case design::Font::Badge:
            return windowFont(QStringLiteral("Calibri"), 8.25);
    }
    return windowFont(QString::fromLatin1(kDefaultFamily), kDefaultPointSize);
}

bool takesFocus(design::Kind kind) {
    return kind == design::Kind::TickBox || kind == design::Kind::TextBox ||
           kind == design::Kind::Button;
}

template <typename Widget>
Widget* place(Widget* widget, const design::Control& control) {
    const design::Twips& twips = control.place;
    widget->setObjectName(fromDesign(control.name));
    widget->setGeometry(twipsRect(twips.left, twips.top, twips.width, twips.height, widget));
    // A frame's font is its caption's; the controls inside keep the window's.
    if (control.font != design::Font::Default && control.kind != design::Kind::Frame) {
        widget->setFont(fontOf(control.font));
    }
    return widget;
}

// A label is as wide as its caption: only its corner comes from the design.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                  design::Font font) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    // Captions can come from the settings file; they are never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->move(toPixels(left, parent), toPixels(top, parent));
    if (font != design::Font::Default) {
        label->setFont(fontOf(font));
    }
    label->adjustSize();
    return label;
}

QFrame* makeFrame(QWidget* parent, const design::Control& control) {
    auto* frame = place(new QFrame(parent), control);
    frame->setFrameShape(QFrame::StyledPanel);
    if (!control.caption.empty()) {
        makeLabel(frame, fromDesign(control.name) + QStringLiteral("Caption"),
                  fromDesign(control.caption), kFrameCaptionLeft, 0, control.font);
    }
    return frame;
}

TickBox* makeTick(QWidget* parent, const design::Control& control) {
    auto* tick = place(new TickBox(parent), control);
    // The tick box has no caption, so give it room for the indicator whatever the style.
    tick->resize(tick->sizeHint().expandedTo(tick->size()));
    return tick;
}

QLineEdit* makeTextBox(QWidget* parent, const design::Control& control) {
    QLineEdit* box = control.name == "AutoSyncIntervalText"
                         ? new IntervalBox(fromDesign(control.caption), parent)
                         : new QLineEdit(fromDesign(control.caption), parent);
    return place(box, control);
}

}  // namespace

IntervalBox::IntervalBox(const QString& text, QWidget* parent) : QLineEdit(parent) {
    setText(text);
    connect(this, &QLineEdit::textEdited, this, &IntervalBox::fitLimitTo);
}

void IntervalBox::setText(const QString& text) {
    fitLimitTo(text);
    QLineEdit::setText(text);
}

void IntervalBox::fitLimitTo(const QString& text) {
    setMaxLength(std::max(kTypedLimit, static_cast<int>(text.size())));
}

sync::Tick TickBox::tick() const {
    return checkState() == Qt::Checked            ? sync::Tick::On
           : checkState() == Qt::PartiallyChecked ? sync::Tick::Greyed
                                                  : sync::Tick::Off;
}

void TickBox::setTick(sync::Tick tick) {
    setCheckState(tick == sync::Tick::On       ? Qt::Checked
                  : tick == sync::Tick::Greyed ? Qt::PartiallyChecked
                                               : Qt::Unchecked);
}

void TickBox::nextCheckState() {
    // The greyed state counts as unticked, so a click on it ticks.
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

QColor toQColor(design::Colour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

QString statusDateTime(const QDateTime& when, const QLocale& locale) {
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(QStringLiteral("yyyy"))) {
        dateFormat.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    }
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1Char('s'))) {
        timeFormat.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    }
    return locale.toString(when.date(), dateFormat) + QStringLiteral(" at ") +
           locale.toString(when.time(), timeFormat);
}

SettingsWindow::SettingsWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("KelvaneForm"));
    setFont(windowFont(QString::fromLatin1(kDefaultFamily), kDefaultPointSize));
    setFixedSize(toPixels(design::kClientWidth, this), toPixels(design::kClientHeight, this));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // In the designer's order, which stacks the widgets as drawn; Tab follows the
    // design's own focus order, set below.
    for (std::size_t index = 0; index < built_.size(); ++index) {
        built_[index] = add(design::kSettingsControls[index]);
    }
    findControls();
    styleBadge();
    keepCaptionsClearOfControls();
    buildTrayMenu();
    setFocusOrder();
    describeForScreenReaders();
}

QWidget* SettingsWindow::add(const design::Control& control) {
    QWidget* parent = control.frame.empty() ? this : built_[design::indexOf(control.frame)];
    switch (control.kind) {
        case design::Kind::Frame:
            return makeFrame(parent, control);
        case design::Kind::Label:
        case design::Kind::Badge:
            return makeLabel(parent, fromDesign(control.name), fromDesign(control.caption),
                             control.place.left, control.place.top, control.font);
        case design::Kind::TickBox:
            return makeTick(parent, control);
        case design::Kind::TextBox:
            return makeTextBox(parent, control);
        case design::Kind::Button:
            break;
    }
    return place(new QPushButton(fromDesign(control.caption), parent), control);
}

template <typename Widget>
Widget* SettingsWindow::built(std::string_view name) const {
    return static_cast<Widget*>(built_[design::indexOf(name)]);
}

void SettingsWindow::findControls() {
    filesFrame = built<QFrame>("Frame1");
    selectHeading = built<QLabel>("Label7");
    browseHeading = built<QLabel>("Label8");
    for (std::size_t slot = 0; slot < rows.size(); ++slot) {
        const design::SlotNames& names = design::kSlots[slot];
        rows[slot] = {built<QLabel>(names.caption), built<TickBox>(names.tick),
                      built<QLineEdit>(names.path), built<QPushButton>(names.browse)};
    }
    syncFrame = built<QFrame>("Frame3");
    syncNow = built<QPushButton>("SyncNowCommand");
    autoSync = built<QPushButton>("AutoSyncCommand");
    autoSyncBadge = built<QLabel>("AutoSyncLabel");
    intervalCaption = built<QLabel>("Label3");
    interval = built<IntervalBox>("AutoSyncIntervalText");
    secondsCaption = built<QLabel>("Label4");
    help = built<QPushButton>("HelpCommand");
    lastSyncFrame = built<QFrame>("Frame2");
    lastSyncCaption = built<QLabel>("Label6");
    lastSync = built<QLabel>("LastSyncLabel");
    hideToTray = built<QPushButton>("HideToTrayCommand");
}

// The badge is a boxed, filled label at least as large as designed.
void SettingsWindow::styleBadge() {
    const design::Twips& twips = design::control("AutoSyncLabel").place;
    autoSyncBadge->setFrameShape(QFrame::Box);
    autoSyncBadge->setAutoFillBackground(true);
    autoSyncBadge->setAlignment(Qt::AlignCenter);
    autoSyncBadge->setMinimumSize(toPixels(twips.width, this), toPixels(twips.height, this));
    autoSyncBadge->adjustSize();
    setAutoSyncBadge(false);
}

void SettingsWindow::buildTrayMenu() {
    trayMenu = new QMenu(QStringLiteral("Tray menu"), this);
    trayMenu->setObjectName(QStringLiteral("menuTray"));
    int separators = 0;
    for (const design::MenuEntry& entry : design::kTrayMenu) {
        if (entry.name.empty()) {
            trayMenu->addSeparator()->setObjectName(QStringLiteral("menuSpace") +
                                                    QString::number(++separators));
        } else {
            trayMenu->addAction(fromDesign(entry.caption))->setObjectName(fromDesign(entry.name));
        }
    }
    showSettingsEntry = menuEntry("menuShowKelvane");
    showHelpEntry = menuEntry("menuShowHelp");
    // Its caption and tick come from the program, which shows it once it can switch it.
    sessionStartEntry = menuEntry("menuStartWithSession");
    sessionStartEntry->setCheckable(true);
    sessionStartEntry->setVisible(false);
    hideMenuEntry = menuEntry("menuHideThisPopupMenu");
    exitEntry = menuEntry("menuExitKelvane");
    connect(hideMenuEntry, &QAction::triggered, trayMenu, &QMenu::hide);
}

QAction* SettingsWindow::menuEntry(std::string_view name) const {
    const QList<QAction*> entries = trayMenu->actions();
    const auto found = std::find_if(entries.begin(), entries.end(), [name](const QAction* entry) {
        return entry->objectName() == fromDesign(name);
    });
    return found != entries.end() ? *found : nullptr;
}

void SettingsWindow::setFocusOrder() {
    QList<QWidget*> order(static_cast<qsizetype>(built_.size()), nullptr);
    for (std::size_t index = 0; index < built_.size(); ++index) {
        const design::Control& control = design::kSettingsControls[index];
        if (takesFocus(control.kind)) {
            order[control.order] = built_[index];
        }
    }
    order.removeAll(nullptr);
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void SettingsWindow::describeForScreenReaders() {
    for (std::size_t index = 0; index < built_.size(); ++index) {
        const design::Control& control = design::kSettingsControls[index];
        if (!control.accessibleName.empty()) {
            built_[index]->setAccessibleName(fromDesign(control.accessibleName));
        }
        // A label's name would hide its changing caption from a screen reader.
        if (!control.accessibleDescription.empty()) {
            built_[index]->setAccessibleDescription(fromDesign(control.accessibleDescription));
        }
    }
}

void SettingsWindow::showStatus(const QString& text, bool bold, const QColor& colour,
                                const QString& detail) {
    // Every timed pass comes here; leaving an unchanged line alone spares a relayout and
    // a repaint each tick while the program idles in the tray.
    const bool sameLook = lastSync->font().bold() == bold &&
                          lastSync->palette().color(QPalette::WindowText) == colour;
    if (lastSync->text() != text || !sameLook) {
        QFont font = lastSync->font();
        font.setBold(bold);
        lastSync->setFont(font);
        QPalette palette = lastSync->palette();
        palette.setColor(QPalette::WindowText, colour);
        lastSync->setPalette(palette);
        lastSync->setText(text);
        fitLastSyncLine();
    }
    // The reason names paths; a tool tip would read them as markup.
    lastSync->setToolTip(detail.isEmpty() ? QString() : Qt::convertFromPlainText(detail));
}

// Where the window's own fonts are missing, the stand-in is often wider. A line that
// would run past its frame takes the condensed face of the same family and size first,
// so the failure line stays readable; only what still does not fit is cut at the frame.
void SettingsWindow::fitLastSyncLine() {
    QFont font = lastSync->font();
    const int room = lastSyncFrame->width() - lastSync->x() - toPixels(75, this);
    for (const int stretch :
         {int(QFont::Unstretched), int(QFont::SemiCondensed), int(QFont::Condensed)}) {
        font.setStretch(stretch);
        if (QFontMetrics(font).horizontalAdvance(lastSync->text()) <= room) {
            break;
        }
    }
    if (font.stretch() != lastSync->font().stretch()) {
        lastSync->setFont(font);
    }
    lastSync->adjustSize();
}

// Captions sized for the window's own font can grow with a stand-in; move them clear of
// the control they sit beside rather than let them run under it.
void SettingsWindow::keepCaptionsClearOfControls() {
    const int gap = toPixels(60, this);
    const QPushButton* firstBrowse = rows[0].browse;
    if (browseHeading->geometry().right() > firstBrowse->geometry().right()) {
        browseHeading->move(firstBrowse->geometry().right() - browseHeading->width(),
                            browseHeading->y());
    }
    if (intervalCaption->geometry().right() + gap > interval->x()) {
        const int left = autoSyncBadge->geometry().right() + gap;
        if (intervalCaption->width() > interval->x() - gap - left) {
            QFont condensed = intervalCaption->font();
            condensed.setStretch(QFont::SemiCondensed);
            intervalCaption->setFont(condensed);
            intervalCaption->adjustSize();
        }
        intervalCaption->move(std::max(left, interval->x() - gap - intervalCaption->width()),
                              intervalCaption->y());
    }
    if (lastSyncCaption->geometry().right() + gap > lastSync->x()) {
        lastSync->move(lastSyncCaption->geometry().right() + gap, lastSync->y());
    }
}

void SettingsWindow::setAutoSyncBadge(bool on) {
    autoSyncBadge->setText(on ? QStringLiteral(" ON ") : QStringLiteral(" OFF "));
    QPalette palette = autoSyncBadge->palette();
    palette.setColor(QPalette::Window, toQColor(on ? design::kBadgeOn : design::kBadgeOff));
    palette.setColor(QPalette::WindowText, toQColor(design::kText));
    autoSyncBadge->setPalette(palette);
}

void SettingsWindow::lockSlots(bool locked) {
    for (const SlotRow& row : rows) {
        row.tick->setEnabled(!locked);
        row.path->setEnabled(!locked);
    }
    interval->setEnabled(!locked);
}

void SettingsWindow::centreOnPrimaryScreen() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return;
    }
    const QRect room = primary->availableGeometry();
    QRect window = frameGeometry();
    window.moveCenter(room.center());
    move(std::max(window.left(), room.left()), std::max(window.top(), room.top()));
}

void SettingsWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!painted_) {
        painted_ = true;
        QTimer::singleShot(0, this, [] { giveWindowsTheApplicationIcon(); });
    }
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (event->spontaneous()) {
        emit closeAsked();
    }
}

}  // namespace kelvane::qt
