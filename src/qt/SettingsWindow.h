#pragma once

#include <QCheckBox>
#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <string_view>

#include "design/SettingsWindowDesign.h"

#include "sync/Tick.h"

namespace kelvane::qt {

// The interval box. Its five-character limit is for typing only: a text the program puts
// in, such as a stored interval, shows exactly as given, so it is judged as it was stored.
// A longer text may be shortened by the user but not lengthened.
class IntervalBox : public QLineEdit {
  public:
    static constexpr int kTypedLimit = 5;

    IntervalBox(const QString& text, QWidget* parent);
    // Deliberately hides QLineEdit::setText, whose length limit would cut the text.
    void setText(const QString& text);

  private:
    void fitLimitTo(const QString& text);
};

// A tick box that the user only ever ticks or unticks. The greyed state can come from the
// settings file and is shown as such, but a click never leads into it.
class TickBox : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

    sync::Tick tick() const;
    void setTick(sync::Tick tick);

  protected:
    void nextCheckState() override;
};

// One "File1" row: its caption, tick box, path box and "---" button.
struct SlotRow {
    QLabel* caption = nullptr;
    TickBox* tick = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* browse = nullptr;
};

// The settings window's widgets, built from the window's design table: laid out in twips,
// with their look and their names for screen readers. It decides nothing: QtFace wires it
// to the program's behaviour. The controls keep the designer's names as object names,
// which users' tools and tests know them by ("File1Text", "SyncNowCommand", ...).
class SettingsWindow : public QWidget {
    Q_OBJECT

  public:
    explicit SettingsWindow(QWidget* parent = nullptr);

    // The last-sync line: its text, weight, colour and what hovering shows (plain text).
    void showStatus(const QString& text, bool bold, const QColor& colour, const QString& detail);
    void setAutoSyncBadge(bool on);
    // Locks the tick boxes, the path boxes and the interval box while auto sync runs.
    void lockSlots(bool locked);
    // Moves the window to the middle of the primary screen's free area.
    void centreOnPrimaryScreen();

    QFrame* filesFrame;
    QLabel* selectHeading;
    QLabel* browseHeading;
    std::array<SlotRow, 3> rows;
    QFrame* syncFrame;
    QPushButton* syncNow;
    QPushButton* autoSync;
    QLabel* autoSyncBadge;
    QLabel* intervalCaption;
    IntervalBox* interval;
    QLabel* secondsCaption;
    QPushButton* help;
    QFrame* lastSyncFrame;
    QLabel* lastSyncCaption;
    QLabel* lastSync;
    QPushButton* hideToTray;

    QMenu* trayMenu;
    QAction* showSettingsEntry;
    QAction* showHelpEntry;
    QAction* sessionStartEntry;
    QAction* hideMenuEntry;
    QAction* exitEntry;

  signals:
    // The close box, the system menu or Alt+F4. The window never closes by itself: the
    // program decides and ends the run.
    void closeAsked();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QWidget* add(const design::Control& control);
    template <typename Widget>
    Widget* built(std::string_view name) const;
    void findControls();
    void styleBadge();
    void buildTrayMenu();
    QAction* menuEntry(std::string_view name) const;
    void setFocusOrder();
    void describeForScreenReaders();
    void fitLastSyncLine();
    void keepCaptionsClearOfControls();

    // The table's controls as built, at their places in the table.
    std::array<QWidget*, design::kSettingsControls.size()> built_{};
    bool painted_ = false;
};

QColor toQColor(design::Colour colour);

// "3/14/2025 at 9:05:07 PM" in the given locale: its short date with a four-digit year
// and its time with seconds.
QString statusDateTime(const QDateTime& when, const QLocale& locale);

}  // namespace kelvane::qt
