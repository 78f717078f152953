#include "ui/KelvaneForm.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QTextDocument>
#include <algorithm>

#include "sync/AutoSyncInterval.h"
#include "tray/TrayIcon.h"
#include "ui/AppIcon.h"
#include "ui/HelpForm.h"
#include "ui/Metrics.h"

namespace kelvane::ui {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kOnGreen(0, 255, 0);
const QColor kOffGrey(240, 240, 240);

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}
std::string toUtf8(const QString& text) {
    return text.toStdString();
}

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

QLineEdit* makePathBox(QWidget* parent, const char* name, const QString& text, QRect twips) {
    auto* box = place(new QLineEdit(text, parent), name, twips);
    box->setFont(windowFont(QStringLiteral("Calibri"), 9.75));
    return box;
}

TickBox* makeTick(QWidget* parent, const char* name, bool ticked, int top) {
    auto* tick = place(new TickBox(parent), name, QRect(510, top, 240, 240));
    tick->setChecked(ticked);
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

KelvaneForm::KelvaneForm(platform::FileSystem& fileSystem, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), fileSystem_(fileSystem), dialogs_(dialogs) {
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
    HideToTrayCommand = place(new QPushButton(tr("Hide to tray"), this), "HideToTrayCommand",
                              QRect(5475, 3150, 1365, 345));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::CoarseTimer);
    buildTrayMenu();
    setFocusOrder();
    describeForScreenReaders();
    connectHandlers();
}

KelvaneForm::~KelvaneForm() = default;

void KelvaneForm::buildFilesFrame() {
    Frame1 = place(new QFrame(this), "Frame1", QRect(75, 150, 6765, 2040));
    Frame1->setFrameShape(QFrame::StyledPanel);
    const settings::AppSettings firstRun;
    auto* caption = makeLabel(Frame1, "Frame1Caption", QStringLiteral("Files to Sync"), 120, 0);
    caption->setFont(windowFont(QString::fromLatin1(kDefaultFamily), kDefaultPointSize, true));
    caption->adjustSize();
    Label7 = makeLabel(Frame1, "Label7", QStringLiteral("Select"), 375, 375);
    Label8 = makeLabel(Frame1, "Label8", QStringLiteral("Browse"), 6150, 375);
    Label1 = makeLabel(Frame1, "Label1", QStringLiteral("File1"), 75, 675);
    File1Selected = makeTick(Frame1, "File1Selected", true, 675);
    File1Text = makePathBox(Frame1, "File1Text", QString::fromStdString(firstRun.File1),
                            QRect(825, 600, 5415, 330));
    Browse1 = place(new QPushButton(QStringLiteral("---"), Frame1), "Browse1",
                    QRect(6300, 600, 345, 315));
    Label2 = makeLabel(Frame1, "Label2", QStringLiteral("File2"), 75, 1125);
    File2Selected = makeTick(Frame1, "File2Selected", true, 1125);
    File2Text = makePathBox(Frame1, "File2Text", QString::fromStdString(firstRun.File2),
                            QRect(825, 1050, 5415, 315));
    Browse2 = place(new QPushButton(QStringLiteral("---"), Frame1), "Browse2",
                    QRect(6300, 1050, 345, 315));
    Label5 = makeLabel(Frame1, "Label5", QStringLiteral("File3"), 75, 1575);
    File3Selected = makeTick(Frame1, "File3Selected", false, 1575);
    File3Text = makePathBox(Frame1, "File3Text", QString(), QRect(825, 1500, 5415, 315));
    Browse3 = place(new QPushButton(QStringLiteral("---"), Frame1), "Browse3",
                    QRect(6300, 1500, 345, 315));
}

void KelvaneForm::buildSyncFrame() {
    Frame3 = place(new QFrame(this), "Frame3", QRect(75, 2250, 6765, 690));
    Frame3->setFrameShape(QFrame::StyledPanel);
    SyncNowCommand = place(new QPushButton(QStringLiteral("Sync Now"), Frame3), "SyncNowCommand",
                           QRect(150, 225, 1140, 315));
    AutoSyncCommand = place(new QPushButton(QStringLiteral("Auto Sync"), Frame3), "AutoSyncCommand",
                            QRect(1650, 225, 1140, 315));
    AutoSyncLabel = makeLabel(Frame3, "AutoSyncLabel", QStringLiteral(" OFF "), 2850, 285);
    AutoSyncLabel->setFont(windowFont(QStringLiteral("Calibri"), 8.25));
    AutoSyncLabel->setFrameShape(QFrame::Box);
    AutoSyncLabel->setAutoFillBackground(true);
    AutoSyncLabel->setAlignment(Qt::AlignCenter);
    AutoSyncLabel->setMinimumSize(toPixels(360, this), toPixels(225, this));
    AutoSyncLabel->adjustSize();
    setAutoSyncBadge(QStringLiteral(" OFF "), palette().color(QPalette::Base));
    Label3 = makeLabel(Frame3, "Label3", QStringLiteral("Sync interval"), 3465, 300);
    AutoSyncIntervalText = place(new IntervalBox(QStringLiteral("10"), Frame3),
                                 "AutoSyncIntervalText", QRect(4425, 255, 465, 285));
    AutoSyncIntervalText->setFont(windowFont(QStringLiteral("Calibri"), 9.75));
    Label4 = makeLabel(Frame3, "Label4", QStringLiteral("Seconds"), 4950, 300);
    HelpCommand = place(new QPushButton(QStringLiteral("Help"), Frame3), "HelpCommand",
                        QRect(5925, 225, 690, 315));
}

void KelvaneForm::buildLastSyncFrame() {
    Frame2 = place(new QFrame(this), "Frame2", QRect(75, 3075, 5265, 450));
    Frame2->setFrameShape(QFrame::StyledPanel);
    Label6 = makeLabel(Frame2, "Label6", QStringLiteral("Latest Sync:"), 75, 150);
    LastSyncLabel = makeLabel(Frame2, "LastSyncLabel", QStringLiteral("NIL"), 1020, 150);
}

void KelvaneForm::buildTrayMenu() {
    menuTray = new QMenu(QStringLiteral("Tray menu"), this);
    menuTray->setObjectName(QStringLiteral("menuTray"));
    auto addEntry = [this](const char* name, const QString& caption) {
        QAction* action = menuTray->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    menuShowKelvane = addEntry("menuShowKelvane", QStringLiteral("Show Kelvane Settings"));
    menuShowHelp = addEntry("menuShowHelp", QStringLiteral("Show Help"));
    menuTray->addSeparator()->setObjectName(QStringLiteral("menuSpace1"));
    menuHideThisPopupMenu =
        addEntry("menuHideThisPopupMenu", QStringLiteral("Hide this popup menu"));
    menuTray->addSeparator()->setObjectName(QStringLiteral("menuSpace2"));
    menuExitKelvane = addEntry("menuExitKelvane", QStringLiteral("Exit Kelvane"));
}

void KelvaneForm::setFocusOrder() {
    const QList<QWidget*> order = {File3Selected,
                                   File2Selected,
                                   File1Selected,
                                   File1Text,
                                   File2Text,
                                   File3Text,
                                   SyncNowCommand,
                                   AutoSyncCommand,
                                   AutoSyncIntervalText,
                                   HelpCommand,
                                   HideToTrayCommand,
                                   Browse1,
                                   Browse2,
                                   Browse3};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void KelvaneForm::describeForScreenReaders() {
    const QList<QPair<QWidget*, QString>> names = {
        {File1Selected, QStringLiteral("File1 selected")},
        {File2Selected, QStringLiteral("File2 selected")},
        {File3Selected, QStringLiteral("File3 selected")},
        {File1Text, QStringLiteral("File1 path")},
        {File2Text, QStringLiteral("File2 path")},
        {File3Text, QStringLiteral("File3 path")},
        {Browse1, QStringLiteral("Browse for File1")},
        {Browse2, QStringLiteral("Browse for File2")},
        {Browse3, QStringLiteral("Browse for File3")},
        {AutoSyncIntervalText, QStringLiteral("Sync interval in seconds")}};
    for (const auto& [widget, name] : names) {
        widget->setAccessibleName(name);
    }
    // A label's name would hide its changing caption from a screen reader.
    LastSyncLabel->setAccessibleDescription(QStringLiteral("Latest sync"));
    AutoSyncLabel->setAccessibleDescription(QStringLiteral("Auto sync state"));
}

void KelvaneForm::connectHandlers() {
    connect(SyncNowCommand, &QPushButton::clicked, this, &KelvaneForm::SyncNowCommand_Click);
    connect(AutoSyncCommand, &QPushButton::clicked, this, &KelvaneForm::AutoSyncCommand_Click);
    connect(Browse1, &QPushButton::clicked, this, &KelvaneForm::Browse1_Click);
    connect(Browse2, &QPushButton::clicked, this, &KelvaneForm::Browse2_Click);
    connect(Browse3, &QPushButton::clicked, this, &KelvaneForm::Browse3_Click);
    connect(HelpCommand, &QPushButton::clicked, this, &KelvaneForm::HelpCommand_Click);
    connect(HideToTrayCommand, &QPushButton::clicked, this, &KelvaneForm::HideToTrayCommand_Click);
    connect(Timer1, &QTimer::timeout, this, &KelvaneForm::Timer1_Timer);
    connect(menuShowKelvane, &QAction::triggered, this, &KelvaneForm::menuShowKelvane_Click);
    connect(menuShowHelp, &QAction::triggered, this, &KelvaneForm::menuShowHelp_Click);
    connect(menuHideThisPopupMenu, &QAction::triggered, this,
            &KelvaneForm::menuHideThisPopupMenu_Click);
    connect(menuExitKelvane, &QAction::triggered, this, &KelvaneForm::menuExitKelvane_Click);
}

// ---- The sync pass -------------------------------------------------------------------

sync::FileSlots KelvaneForm::readSlots() const {
    return {sync::FileSlot{toUtf8(File1Text->text()), storedTickState(File1Selected)},
            sync::FileSlot{toUtf8(File2Text->text()), storedTickState(File2Selected)},
            sync::FileSlot{toUtf8(File3Text->text()), storedTickState(File3Selected)}};
}

void KelvaneForm::SyncSelectedFiles() {
    if (passRunning_) {
        return;  // a pass never starts inside another
    }
    passRunning_ = true;
    setLastSyncLook(LastSyncLabel->font().bold(), kBlack);
    const sync::SyncOutcome outcome = sync::SyncSelectedFiles(readSlots(), fileSystem_);
    appSettings.File1 = outcome.workingPaths[0];
    appSettings.File2 = outcome.workingPaths[1];
    appSettings.File3 = outcome.workingPaths[2];
    applyOutcome(outcome);
    passRunning_ = false;
}

void KelvaneForm::applyOutcome(const sync::SyncOutcome& outcome) {
    switch (outcome.result) {
        case sync::SyncResult::Copied:
            setLastSyncText(fromUtf8(outcome.statusPrefix) +
                            statusDateTime(now(), QLocale::system()));
            setLastSyncLook(true, kBlack);
            break;
        case sync::SyncResult::Equal:
            setLastSyncLook(false, kBlack);
            break;
        case sync::SyncResult::Refused:
            StopAutoSync();
            dialogs_.message(this, fromUtf8(outcome.message));
            break;
        case sync::SyncResult::Failed:
            setLastSyncText(QString::fromLatin1(sync::kSyncFailedLine));
            setLastSyncLook(true, kRed);
            // The reason names paths; a tool tip would read them as markup.
            LastSyncLabel->setToolTip(Qt::convertFromPlainText(fromUtf8(outcome.reason)));
            break;
    }
    if (outcome.result != sync::SyncResult::Failed) {
        LastSyncLabel->setToolTip(QString());
    }
    if (tray_) {
        tray_->passFinished(outcome.result == sync::SyncResult::Failed, isVisible(),
                            LastSyncLabel->text());
    }
}

void KelvaneForm::setLastSyncLook(bool bold, const QColor& colour) {
    // Every timed pass comes here; leaving an unchanged label alone spares a relayout
    // and a repaint each tick while the program idles in the tray.
    if (LastSyncLabel->font().bold() == bold &&
        LastSyncLabel->palette().color(QPalette::WindowText) == colour) {
        return;
    }
    QFont font = LastSyncLabel->font();
    font.setBold(bold);
    LastSyncLabel->setFont(font);
    QPalette palette = LastSyncLabel->palette();
    palette.setColor(QPalette::WindowText, colour);
    LastSyncLabel->setPalette(palette);
    fitLastSyncLabel();
}

void KelvaneForm::setLastSyncText(const QString& text) {
    LastSyncLabel->setText(text);
    fitLastSyncLabel();
}

// Where the window's own fonts are missing, the stand-in is often wider. A line that
// would run past its frame takes the condensed face of the same family and size first,
// so the failure line stays readable; only what still does not fit is cut at the frame.
void KelvaneForm::fitLastSyncLabel() {
    QFont font = LastSyncLabel->font();
    const int room = Frame2->width() - LastSyncLabel->x() - toPixels(75, this);
    for (const int stretch :
         {int(QFont::Unstretched), int(QFont::SemiCondensed), int(QFont::Condensed)}) {
        font.setStretch(stretch);
        if (QFontMetrics(font).horizontalAdvance(LastSyncLabel->text()) <= room) {
            break;
        }
    }
    if (font.stretch() != LastSyncLabel->font().stretch()) {
        LastSyncLabel->setFont(font);
    }
    LastSyncLabel->adjustSize();
}

// Captions sized for the window's own font can grow with a stand-in; move them clear of
// the control they sit beside rather than let them run under it.
void KelvaneForm::keepCaptionsClearOfControls() {
    const int gap = toPixels(60, this);
    if (Label8->geometry().right() > Browse1->geometry().right()) {
        Label8->move(Browse1->geometry().right() - Label8->width(), Label8->y());
    }
    if (Label3->geometry().right() + gap > AutoSyncIntervalText->x()) {
        const int left = AutoSyncLabel->geometry().right() + gap;
        if (Label3->width() > AutoSyncIntervalText->x() - gap - left) {
            QFont condensed = Label3->font();
            condensed.setStretch(QFont::SemiCondensed);
            Label3->setFont(condensed);
            Label3->adjustSize();
        }
        Label3->move(std::max(left, AutoSyncIntervalText->x() - gap - Label3->width()),
                     Label3->y());
    }
    if (Label6->geometry().right() + gap > LastSyncLabel->x()) {
        LastSyncLabel->move(Label6->geometry().right() + gap, LastSyncLabel->y());
    }
}

void KelvaneForm::showEvent(QShowEvent* event) {
    keepOnAScreen();
    QWidget::showEvent(event);
}

// A stored position can lie on a monitor that has since been unplugged, where nobody
// could reach the window. Any overlap with a screen keeps the place the user chose.
void KelvaneForm::keepOnAScreen() {
    QRect window = frameGeometry();
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(window)) {
            return;
        }
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return;
    }
    const QRect room = primary->availableGeometry();
    window.moveCenter(room.center());
    move(std::max(window.left(), room.left()), std::max(window.top(), room.top()));
}

void KelvaneForm::SyncNowCommand_Click() {
    setLastSyncLook(false, kBlack);
    SyncSelectedFiles();
}

void KelvaneForm::Timer1_Timer() {
    SyncSelectedFiles();
}

// ---- Auto sync -----------------------------------------------------------------------

QList<QWidget*> KelvaneForm::lockedSet() const {
    return {File1Selected, File2Selected, File3Selected,       File1Text,
            File2Text,     File3Text,     AutoSyncIntervalText};
}

void KelvaneForm::setLockedSetEnabled(bool enabled) {
    for (QWidget* control : lockedSet()) {
        control->setEnabled(enabled);
    }
}

void KelvaneForm::setAutoSyncBadge(const QString& caption, const QColor& background) {
    AutoSyncLabel->setText(caption);
    QPalette palette = AutoSyncLabel->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, kBlack);
    AutoSyncLabel->setPalette(palette);
}

void KelvaneForm::StartAutoSync() {
    const std::string interval = toUtf8(AutoSyncIntervalText->text());
    const sync::IntervalDecision decision = sync::judgeInterval(interval);
    if (!decision.accepted) {
        // Only a start from a stored "ON" gets here with auto sync not off; the refusal
        // must leave it off in the state, the badge and the next save alike.
        if (appSettings.AutoSync != "OFF") {
            StopAutoSync();
        }
        dialogs_.message(this, fromUtf8(decision.message));
        return;
    }
    appSettings.SyncInterval = interval;
    Timer1->start(decision.milliseconds);
    setLockedSetEnabled(false);
    setAutoSyncBadge(QStringLiteral(" ON "), kOnGreen);
    appSettings.AutoSync = "ON";
}

void KelvaneForm::StopAutoSync() {
    setLockedSetEnabled(true);
    Timer1->stop();
    setAutoSyncBadge(QStringLiteral(" OFF "), kOffGrey);
    appSettings.AutoSync = "OFF";
}

void KelvaneForm::AutoSyncCommand_Click() {
    setLastSyncLook(false, kBlack);
    if (appSettings.AutoSync == "OFF") {
        StartAutoSync();
    } else {
        StopAutoSync();
    }
}

// ---- Browse and help -----------------------------------------------------------------

void KelvaneForm::browse(QLineEdit* pathBox) {
    const QString chosen =
        dialogs_.openFile(this, QStringLiteral("Kelvane Select file"), lastBrowseFolder_);
    if (chosen.isEmpty()) {
        return;  // Cancel leaves the box alone
    }
    lastBrowseFolder_ = QFileInfo(chosen).absolutePath();
    // Qt hands back "/" on every system; show the path as the system's own dialog would.
    pathBox->setText(QDir::toNativeSeparators(chosen));
}

void KelvaneForm::Browse1_Click() {
    browse(File1Text);
}
void KelvaneForm::Browse2_Click() {
    browse(File2Text);
}
void KelvaneForm::Browse3_Click() {
    browse(File3Text);
}

void KelvaneForm::HelpCommand_Click() {
    openHelpWindow(helpForm, this, Version, nullptr);
}
void KelvaneForm::menuShowHelp_Click() {
    HelpCommand_Click();
}

}  // namespace kelvane::ui
