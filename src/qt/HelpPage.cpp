#include "qt/HelpPage.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "design/HelpPageDesign.h"
#include "qt/AppIcon.h"
#include "qt/Metrics.h"

namespace kelvane::qt {
namespace {

constexpr int kEscape = 27;
constexpr int kNoCharacter = -1;

QString fromDesign(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Outside Windows the example paths name the user's home folder.
QString lineText(const design::HelpLine& line) {
    QString text = fromDesign(line.text);
    if (text.contains(QLatin1String("%1"))) {
        text = text.arg(QDir::toNativeSeparators(QDir::homePath()));
    }
    return text;
}

QRect twipsRect(const design::Twips& twips, const QWidget* widget) {
    return qt::twipsRect(twips.left, twips.top, twips.width, twips.height, widget);
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
    frame->setGeometry(twipsRect(design::kHelpFrame, this));

    buildHelpLines();
    buildVersionAndButton();
    fitWindowToLines();
    previewKeysOfFocusableControls();
    describeForScreenReaders();
    connect(okButton, &QPushButton::clicked, this, &HelpPage::okClicked);
    okButton->setFocus();
}

void HelpPage::buildHelpLines() {
    static_assert(design::kHelpLines.size() == kLineCount);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const design::HelpLine& line = design::kHelpLines[i];
        auto* label = new QLabel(lineText(line), frame);
        label->setObjectName(fromDesign(line.name));
        label->setTextFormat(Qt::PlainText);
        if (line.heading) {
            label->setFont(defaultFont(true));
        }
        label->setGeometry(
            qt::twipsRect(design::helpLineLeft(line), line.top, 0, design::kHelpLineHeight, this));
        growToText(label);
        lines[i] = label;
    }
}

void HelpPage::buildVersionAndButton() {
    versionLabel = new QLabel(QStringLiteral("v0.00"), frame);
    versionLabel->setObjectName(QStringLiteral("VersionLabel"));
    versionLabel->setTextFormat(Qt::PlainText);
    versionLabel->setFont(windowFont(QStringLiteral("Calibri"), 9));
    versionLabel->setGeometry(twipsRect(design::kHelpVersion, this));
    growToText(versionLabel);

    okButton = new QPushButton(tr("OK"), frame);
    okButton->setObjectName(QStringLiteral("Command1"));
    okButton->setGeometry(twipsRect(design::kHelpOk, this));
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
    const int needed = rightmost + toPixels(design::kHelpHeadingLeft, this);
    const int growth = std::max(0, needed - frame->width());
    frame->resize(frame->width() + growth, frame->height());
    okButton->move(okButton->x() + growth, okButton->y());
    setFixedSize(toPixels(design::kHelpClientWidth, this) + growth,
                 toPixels(design::kHelpClientHeight, this));
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
        const int offset = toPixels(design::kHelpOpenOffset, mainWindow);
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
