#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>

class QFrame;
class QLabel;
class QPushButton;

namespace kelvane::qt {

// The help page: nineteen fixed lines on how Kelvane works and how to set it up, the
// version, and an OK button. It reads the main window's position and version text and
// changes nothing. Closing it deletes it, so the next opening loads a fresh page.
class HelpPage : public QWidget {
    Q_OBJECT

  public:
    // With an owner the page is a top-level window of its own that stays in front of
    // that window; without one it is an independent window.
    explicit HelpPage(QWidget* owner = nullptr);

    // Loading: 400 twips right of and below the main window's outer top-left corner
    // (also while the main window is hidden), then the version text.
    void placeBeside(const QWidget* mainWindow, const QString& version);

    // False once the page has been closed; Qt deletes it only later, from the event loop.
    bool isLoaded() const { return loaded_; }

    static constexpr int kLineCount = 19;

    QFrame* frame;
    std::array<QLabel*, kLineCount> lines;  // top to bottom
    QLabel* versionLabel;
    QPushButton* okButton;

  public slots:
    void okClicked();
    // Sees every typed character before the control with the focus does: Esc (27)
    // closes the page, everything else is left to the controls.
    void keyTyped(int characterCode);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildHelpLines();
    void buildVersionAndButton();
    void fitWindowToLines();
    void previewKeysOfFocusableControls();
    void describeForScreenReaders();
    bool isFirstReceiver(const QObject* watched) const;

    bool loaded_ = true;
};

// Opens the help page: loads a new one when none is open, otherwise shows and raises the
// open one without loading it again, so it keeps its place and version line. `current`
// tracks the page between calls; `owner` may be null.
HelpPage* openHelpWindow(QPointer<HelpPage>& current, QWidget* mainWindow, const QString& version,
                         QWidget* owner);

}  // namespace kelvane::qt
