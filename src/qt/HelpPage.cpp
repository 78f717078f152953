#include "qt/HelpPage.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "qt/AppIcon.h"
#include "qt/Metrics.h"

namespace kelvane::qt {
namespace {

constexpr int kEscape = 27;
constexpr int kNoCharacter = -1;

// Twips. The client area, and the frame that holds everything within it.
constexpr int kClientWidth = 4800;
constexpr int kClientHeight = 5700;
constexpr int kFrameLeft = 75;
constexpr int kFrameWidth = 4665;
constexpr int kFrameHeight = 5640;

// Twips, relative to the frame. A heading starts further left than the lines under it.
constexpr int kHeadingLeft = 150;
constexpr int kBodyLeft = 450;
constexpr int kLineHeight = 195;

// How far right of and below the main window's corner the page opens, in twips.
constexpr int kLoadOffset = 400;

enum class LineKind { Heading, Body };

// The lines that name paths and the way to start with the session speak of the system
// the program runs on. Outside Windows the example paths lie in the user's home folder
// (the %1), so they can be typed as they stand.
#ifdef Q_OS_WIN
constexpr const char* kExampleFile1 = QT_TR_NOOP("File1 C:\\somefolder\\folder1\\myfile.txt");
constexpr const char* kExampleFile2 = QT_TR_NOOP("File2 C:\\somefolder\\folder2\\myfile.txt");
constexpr const char* kExampleFile3 = QT_TR_NOOP("File3 C:\\cloudfolder\\folder3\\myfile.txt");
constexpr const char* kSessionHeading =
    QT_TR_NOOP("You can add Kelvane shortcut to Windows Startup");
constexpr const char* kSessionFolder =
    QT_TR_NOOP("Enter \"shell:startup\" in File Explorer for startup folder");
constexpr const char* kSessionCopy = QT_TR_NOOP("Copy Kelvane shortcut into the startup folder");
#else
constexpr const char* kExampleFile1 = QT_TR_NOOP("File1 %1/somefolder/folder1/myfile.txt");
constexpr const char* kExampleFile2 = QT_TR_NOOP("File2 %1/somefolder/folder2/myfile.txt");
constexpr const char* kExampleFile3 = QT_TR_NOOP("File3 %1/cloudfolder/folder3/myfile.txt");
constexpr const char* kSessionHeading =
    QT_TR_NOOP("You can add Kelvane to your desktop's Autostart");
constexpr const char* kSessionFolder =
    QT_TR_NOOP("Open \"~/.config/autostart\" in your file manager");
constexpr const char* kSessionCopy =
    QT_TR_NOOP("Copy Kelvane's .desktop file into the autostart folder");
#endif

struct HelpLine {
    const char* name;
    int top;
    LineKind kind;
    const char* text;
};

// Top to bottom. Within a group the lines are 225 twips apart, between groups 375.
const HelpLine kHelpLines[] = {
    {"Label16", 225, LineKind::Heading,
     QT_TR_NOOP("Kelvane is a Background Process in System Tray")},
    {"Label17", 450, LineKind::Body,
     QT_TR_NOOP("After the intial settings Kelvane will run in system tray")},
    {"Label15", 675, LineKind::Body, QT_TR_NOOP("Click Kelvane tray icon to open it")},
    {"Label1", 1050, LineKind::Heading, QT_TR_NOOP("Kelvane compares file dates and times")},
    {"Label22", 1275, LineKind::Body,
     QT_TR_NOOP("Kelvane \tsynchronizes two or three selected files")},
    {"Label19", 1500, LineKind::Body, QT_TR_NOOP("Write or browse at least two files to sync")},
    {"Label3", 1725, LineKind::Body, QT_TR_NOOP("Older files are replaced with the latest file")},
    {"Label2", 1950, LineKind::Body,
     QT_TR_NOOP("If the dates and times are the same, nothing is done")},
    {"Label5", 2325, LineKind::Heading, QT_TR_NOOP("The folders and files must exist")},
    {"Label4", 2550, LineKind::Body, QT_TR_NOOP("Initially create files to be synced")},
    {"Label14", 2775, LineKind::Body, QT_TR_NOOP("File name must be identical in all folders eg.")},
    {"Label8", 3000, LineKind::Body, kExampleFile1},
    {"Label9", 3225, LineKind::Body, kExampleFile2},
    {"Label18", 3450, LineKind::Body, kExampleFile3},
    {"Label6", 3825, LineKind::Heading, QT_TR_NOOP("You can sync files manually or use Auto Sync")},
    {"Label7", 4050, LineKind::Body, QT_TR_NOOP("Test \"Sync Now\" before starting \"Auto Sync\"")},
    {"Label21", 4425, LineKind::Heading, kSessionHeading},
    {"Label20", 4650, LineKind::Body, kSessionFolder},
    {"Label25", 4875, LineKind::Body, kSessionCopy},
};

QString lineText(const char* text) {
    QString translated = HelpPage::tr(text);
    if (translated.contains(QLatin1String("%1"))) {
        translated = translated.arg(QDir::toNativeSeparators(QDir::homePath()));
    }
    return translated;
}

QFont defaultFont(bool bold = false) {
    return windowFont(QString::fromLatin1(kDefaultFamily), kDefaultPointSize, bold);
}

// A label as wide as its text needs and never lower than laid out, so no caption is
// cut whichever font stood in for the designed one.
void growToText(QLabel* label) {
    label->resize(label->size().expandedTo(label->sizeHint()));
}

// The character a key types, as the key handler sees it; Esc types 27 on every platform.
int characterCodeOf(const QKeyEvent& key) {
    if (key.key() == Qt::Key_Escape) {
        return kEscape;
    }
    const QString text = key.text();
    return text.isEmpty() ? kNoCharacter : text.at(0).unicode();
}

}  // namespace

HelpPage::HelpPage(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("HelpForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Kelvane Help"));
    setWindowIcon(applicationIcon());
    setFont(defaultFont());

    frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setGeometry(twipsRect(kFrameLeft, 0, kFrameWidth, kFrameHeight, this));

    buildHelpLines();
    buildVersionAndButton();
    fitWindowToLines();
    previewKeysOfFocusableControls();
    describeForScreenReaders();
    connect(okButton, &QPushButton::clicked, this, &HelpPage::okClicked);
    okButton->setFocus();
}

void HelpPage::buildHelpLines() {
    static_assert(std::size(kHelpLines) == kLineCount);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const HelpLine& line = kHelpLines[i];
        auto* label = new QLabel(lineText(line.text), frame);
        label->setObjectName(QString::fromLatin1(line.name));
        label->setTextFormat(Qt::PlainText);
        const bool heading = line.kind == LineKind::Heading;
        if (heading) {
            label->setFont(defaultFont(true));
        }
        label->setGeometry(
            twipsRect(heading ? kHeadingLeft : kBodyLeft, line.top, 0, kLineHeight, this));
        growToText(label);
        lines[i] = label;
    }
}

void HelpPage::buildVersionAndButton() {
    versionLabel = new QLabel(QStringLiteral("v0.00"), frame);
    versionLabel->setObjectName(QStringLiteral("VersionLabel"));
    versionLabel->setTextFormat(Qt::PlainText);
    versionLabel->setFont(windowFont(QStringLiteral("Calibri"), 9));
    versionLabel->setGeometry(twipsRect(1950, 5325, 390, 210, this));
    growToText(versionLabel);

    okButton = new QPushButton(tr("OK"), frame);
    okButton->setObjectName(QStringLiteral("Command1"));
    okButton->setGeometry(twipsRect(3990, 5175, 540, 315, this));
    // Enter on the focused button presses it, as in a dialog.
    okButton->setAutoDefault(true);
}

// The lines are laid out for a narrow font. Where a wider one stands in, the window
// grows to the right instead of cutting them off, and OK keeps its corner.
void HelpPage::fitWindowToLines() {
    int rightmost = 0;
    for (const QLabel* line : lines) {
        rightmost = std::max(rightmost, line->geometry().right() + 1);
    }
    const int needed = rightmost + toPixels(kHeadingLeft, this);
    const int growth = std::max(0, needed - frame->width());
    frame->resize(frame->width() + growth, frame->height());
    okButton->move(okButton->x() + growth, okButton->y());
    setFixedSize(toPixels(kClientWidth, this) + growth, toPixels(kClientHeight, this));
}

// A key goes to the control with the focus first; watching those controls (and the
// window itself, for when none has the focus) lets the page see every key first.
void HelpPage::previewKeysOfFocusableControls() {
    installEventFilter(this);
    for (QWidget* control : findChildren<QWidget*>()) {
        if (control->focusPolicy() != Qt::NoFocus) {
            control->installEventFilter(this);
        }
    }
}

void HelpPage::describeForScreenReaders() {
    // The labels keep their captions as what is spoken; the window's name is its title
    // and the button's name is "OK".
    setAccessibleDescription(tr("How Kelvane works and how to set it up"));
    versionLabel->setAccessibleDescription(tr("Kelvane version"));
    okButton->setAccessibleDescription(tr("Close the help window"));
}

void HelpPage::placeBeside(const QWidget* mainWindow, const QString& version) {
    if (mainWindow != nullptr) {
        const int offset = toPixels(kLoadOffset, mainWindow);
        move(mainWindow->pos() + QPoint(offset, offset));
    }
    versionLabel->setText(version);
    growToText(versionLabel);
}

void HelpPage::okClicked() {
    close();
}

void HelpPage::keyTyped(int characterCode) {
    if (characterCode == kEscape) {
        close();
    }
}

bool HelpPage::isFirstReceiver(const QObject* watched) const {
    const QWidget* withFocus = focusWidget();
    return watched == (withFocus != nullptr ? withFocus : this);
}

bool HelpPage::eventFilter(QObject* watched, QEvent* event) {
    // A key the focused control ignores travels on to its parents; only its first
    // stop counts, so the handler sees each key once.
    if (event->type() == QEvent::KeyPress && isFirstReceiver(watched)) {
        const int characterCode = characterCodeOf(*static_cast<QKeyEvent*>(event));
        if (characterCode != kNoCharacter) {
            keyTyped(characterCode);
            if (characterCode == kEscape) {
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void HelpPage::closeEvent(QCloseEvent* event) {
    loaded_ = false;
    QWidget::closeEvent(event);
}

HelpPage* openHelpWindow(QPointer<HelpPage>& current, QWidget* mainWindow, const QString& version,
                         QWidget* owner) {
    if (current.isNull() || !current->isLoaded()) {
        current = new HelpPage(owner);
        current->placeBeside(mainWindow, version);
    }
    current->show();
    current->raise();
    current->activateWindow();
    return current.data();
}

}  // namespace kelvane::qt
