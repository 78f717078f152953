#include "qt/SettingsWindow.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QTextDocument>
#include <algorithm>

#include "qt/AppIcon.h"
#include "qt/Metrics.h"

namespace kelvane::qt {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kOnGreen(0, 255, 0);
const QColor kOffGrey(240, 240, 240);

template <typename Widget>
Widget* place(Widget* widget, const char* name, QRect twips) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height(), widget));
    return widget;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    // Captions can come from the settings file; they are never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->move(toPixels(left, parent), toPixels(top, parent));
    label->adjustSize();
    return label;
}

QLineEdit* makePathBox(QWidget* parent, const char* name, QRect twips) {
    auto* box = place(new QLineEdit(parent), name, twips);
    box->setFont(windowFont(QStringLiteral("Calibri"), 9.75));
    return box;
}

TickBox* makeTick(QWidget* parent, const char* name, int top) {
    auto* tick = place(new TickBox(parent), name, QRect(510, top, 240, 240));
    // The tick box has no caption, so give it room for the indicator whatever the style.
    tick->resize(tick->sizeHint().expandedTo(tick->size()));
    return tick;
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
    setWindowIcon(applicationIcon());
    setFixedSize(toPixels(6915, this), toPixels(3630, this));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildFilesFrame();
    buildSyncFrame();
    buildLastSyncFrame();
    keepCaptionsClearOfControls();
    hideToTray = place(new QPushButton(QStringLiteral("Hide to tray"), this), "HideToTrayCommand",
                       QRect(5475, 3150, 1365, 345));
    buildTrayMenu();
    setFocusOrder();
    describeForScreenReaders();
}

void SettingsWindow::buildFilesFrame() {
    filesFrame = place(new QFrame(this), "Frame1", QRect(75, 150, 6765, 2040));
    filesFrame->setFrameShape(QFrame::StyledPanel);
    auto* caption = makeLabel(filesFrame, "Frame1Caption", QStringLiteral("Files to Sync"), 120, 0);
    caption->setFont(windowFont(QString::fromLatin1(kDefaultFamily), kDefaultPointSize, true));
    caption->adjustSize();
    selectHeading = makeLabel(filesFrame, "Label7", QStringLiteral("Select"), 375, 375);
    browseHeading = makeLabel(filesFrame, "Label8", QStringLiteral("Browse"), 6150, 375);
    rows[0] = buildRow(1, 675, QRect(825, 600, 5415, 330), QRect(6300, 600, 345, 315));
    rows[1] = buildRow(2, 1125, QRect(825, 1050, 5415, 315), QRect(6300, 1050, 345, 315));
    rows[2] = buildRow(3, 1575, QRect(825, 1500, 5415, 315), QRect(6300, 1500, 345, 315));
}

// The rows' captions keep the object names users' tools know them by, which skip 3 and 4.
SlotRow SettingsWindow::buildRow(int slot, int captionTop, QRect pathTwips, QRect browseTwips) {
    static const char* const kCaptionNames[] = {"Label1", "Label2", "Label5"};
    const QString number = QString::number(slot);
    const auto name = [&number](const char* pattern) {
        return QString::fromLatin1(pattern).arg(number).toLatin1();
    };
    SlotRow row;
    row.caption = makeLabel(filesFrame, kCaptionNames[slot - 1], QStringLiteral("File") + number,
                            75, captionTop);
    row.tick = makeTick(filesFrame, name("File%1Selected").constData(), captionTop);
    row.path = makePathBox(filesFrame, name("File%1Text").constData(), pathTwips);
    row.browse = place(new QPushButton(QStringLiteral("---"), filesFrame),
                       name("Browse%1").constData(), browseTwips);
    return row;
}

void SettingsWindow::buildSyncFrame() {
    syncFrame = place(new QFrame(this), "Frame3", QRect(75, 2250, 6765, 690));
    syncFrame->setFrameShape(QFrame::StyledPanel);
    syncNow = place(new QPushButton(QStringLiteral("Sync Now"), syncFrame), "SyncNowCommand",
                    QRect(150, 225, 1140, 315));
    autoSync = place(new QPushButton(QStringLiteral("Auto Sync"), syncFrame), "AutoSyncCommand",
                     QRect(1650, 225, 1140, 315));
    autoSyncBadge = makeLabel(syncFrame, "AutoSyncLabel", QStringLiteral(" OFF "), 2850, 285);
    autoSyncBadge->setFont(windowFont(QStringLiteral("Calibri"), 8.25));
    autoSyncBadge->setFrameShape(QFrame::Box);
    autoSyncBadge->setAutoFillBackground(true);
    autoSyncBadge->setAlignment(Qt::AlignCenter);
    autoSyncBadge->setMinimumSize(toPixels(360, this), toPixels(225, this));
    autoSyncBadge->adjustSize();
    setAutoSyncBadge(false);
    intervalCaption = makeLabel(syncFrame, "Label3", QStringLiteral("Sync interval"), 3465, 300);
    interval = place(new IntervalBox(QString(), syncFrame), "AutoSyncIntervalText",
                     QRect(4425, 255, 465, 285));
    interval->setFont(windowFont(QStringLiteral("Calibri"), 9.75));
    secondsCaption = makeLabel(syncFrame, "Label4", QStringLiteral("Seconds"), 4950, 300);
    help = place(new QPushButton(QStringLiteral("Help"), syncFrame), "HelpCommand",
                 QRect(5925, 225, 690, 315));
}

void SettingsWindow::buildLastSyncFrame() {
    lastSyncFrame = place(new QFrame(this), "Frame2", QRect(75, 3075, 5265, 450));
    lastSyncFrame->setFrameShape(QFrame::StyledPanel);
    lastSyncCaption = makeLabel(lastSyncFrame, "Label6", QStringLiteral("Latest Sync:"), 75, 150);
    lastSync = makeLabel(lastSyncFrame, "LastSyncLabel", QStringLiteral("NIL"), 1020, 150);
}

void SettingsWindow::buildTrayMenu() {
    trayMenu = new QMenu(QStringLiteral("Tray menu"), this);
    trayMenu->setObjectName(QStringLiteral("menuTray"));
    auto addEntry = [this](const char* name, const QString& caption) {
        QAction* action = trayMenu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    showSettingsEntry = addEntry("menuShowKelvane", QStringLiteral("Show Kelvane Settings"));
    showHelpEntry = addEntry("menuShowHelp", QStringLiteral("Show Help"));
    // Its caption and tick come from the program, which shows it once it can switch it.
    sessionStartEntry = addEntry("menuStartWithSession", QString());
    sessionStartEntry->setCheckable(true);
    sessionStartEntry->setVisible(false);
    trayMenu->addSeparator()->setObjectName(QStringLiteral("menuSpace1"));
    hideMenuEntry = addEntry("menuHideThisPopupMenu", QStringLiteral("Hide this popup menu"));
    trayMenu->addSeparator()->setObjectName(QStringLiteral("menuSpace2"));
    exitEntry = addEntry("menuExitKelvane", QStringLiteral("Exit Kelvane"));
    connect(hideMenuEntry, &QAction::triggered, trayMenu, &QMenu::hide);
}

void SettingsWindow::setFocusOrder() {
    const QList<QWidget*> order = {rows[2].tick,   rows[1].tick,  rows[0].tick, rows[0].path,
                                   rows[1].path,   rows[2].path,  syncNow,      autoSync,
                                   interval,       help,          hideToTray,   rows[0].browse,
                                   rows[1].browse, rows[2].browse};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void SettingsWindow::describeForScreenReaders() {
    for (int slot = 1; slot <= 3; ++slot) {
        const SlotRow& row = rows[static_cast<std::size_t>(slot - 1)];
        const QString file = QStringLiteral("File") + QString::number(slot);
        row.tick->setAccessibleName(file + QStringLiteral(" selected"));
        row.path->setAccessibleName(file + QStringLiteral(" path"));
        row.browse->setAccessibleName(QStringLiteral("Browse for ") + file);
    }
    interval->setAccessibleName(QStringLiteral("Sync interval in seconds"));
    // A label's name would hide its changing caption from a screen reader.
    lastSync->setAccessibleDescription(QStringLiteral("Latest sync"));
    autoSyncBadge->setAccessibleDescription(QStringLiteral("Auto sync state"));
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
    palette.setColor(QPalette::Window, on ? kOnGreen : kOffGrey);
    palette.setColor(QPalette::WindowText, kBlack);
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

void SettingsWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (event->spontaneous()) {
        emit closeAsked();
    }
}

}  // namespace kelvane::qt
