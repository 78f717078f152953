#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "behaviour/Face.h"
#include "behaviour/Program.h"
#include "win32/AccessibleNames.h"
#include "win32/Control.h"
#include "win32/Fonts.h"
#include "win32/HelpPage.h"
#include "win32/TrayIcon.h"
#include "win32/Worker.h"

namespace kelvane::win32 {

// The settings window on Windows: standard controls laid out in twips, the help page,
// the boxes and the file dialog, the tray icon, the timer and the worker thread. It
// decides nothing: every click, tick, tray event and close request goes to the Program.
class MainWindow final : public behaviour::Face {
  public:
    MainWindow();
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void attach(behaviour::Program& program) { program_ = &program; }
    // After start-up: the window appears in its normal state.
    void showAtStart();
    // Runs until the program ends; the exit code.
    int runMessageLoop();
    // Waits for the worker thread, so nothing outlives the Program.
    void finishWork();
    // True while the pass's thread is still at its work, as a copy stuck on a stalled
    // volume may be when the program ends.
    bool workStillRunning() const { return worker_.busy(); }

    // ---- behaviour::Face
    void setTitle(const std::string& title) override;
    std::string pathText(int slot) const override;
    void setPathText(int slot, const std::string& text) override;
    int tickState(int slot) const override;
    void setTickState(int slot, int state) override;
    std::string intervalText() const override;
    void setIntervalText(const std::string& text) override;
    void lockSlots(bool locked) override;
    void setAutoSyncBadge(bool on) override;
    void showStatus(const std::string& text, behaviour::StatusLook look,
                    const std::string& detail) override;
    behaviour::WindowState windowState() const override;
    void showWindow() override;
    void hideWindow() override;
    void minimiseWindow() override;
    behaviour::WindowPosition windowPosition() const override;
    void moveWindow(behaviour::WindowPosition position) override;
    bool isOnAnyScreen(behaviour::WindowPosition position) const override;
    void moveToPrimaryScreen() override;
    void openHelp(bool ownedByWindow) override;
    void closeHelp() override;
    void showMessage(behaviour::BoxKind kind, const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> chooseFile(const std::string& title,
                                          const std::string& folder) override;
    void dismissBoxes() override;
    bool addTrayIcon() override;
    void removeTrayIcon() override;
    void notifyFromTray(const std::string& text) override;
    void startTimer(int milliseconds) override;
    void stopTimer() override;
    std::string statusDateTime() const override;
    void runInBackground(std::function<void()> work) override;
    void runOnUiThread(std::function<void()> task) override;
    void endProgram() override;

  private:
    struct SlotRow {
        Control* tick = nullptr;
        Control* path = nullptr;
        Control* browse = nullptr;
    };
    enum class Badge { Unset, On, Off };

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    Control* add(const ControlArgs& args);
    void build();
    void buildFilesFrame();
    void buildSyncFrame();
    void buildLastSyncFrame();
    void nameForScreenReaders();
    void connectClicks();
    void layout(unsigned dpi);
    SIZE outerSize(unsigned dpi) const;
    unsigned dpi() const;
    const SlotRow& row(int slot) const { return rows_[static_cast<std::size_t>(slot - 1)]; }

    void keepFocus(bool activated);
    void commandArrived(int id, int code);
    LRESULT colourOfStatic(HWND control, HDC dc);
    void trayEvent(WPARAM anchor, LPARAM event);
    void showTrayMenu(POINT anchor);
    void runNextTask();
    void answerSessionEnd();

    HWND window_ = nullptr;
    behaviour::Program* program_ = nullptr;
    std::unique_ptr<FontSet> fonts_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::array<SlotRow, 3> rows_{};
    Control* syncNow_ = nullptr;
    Control* autoSync_ = nullptr;
    Control* badge_ = nullptr;
    Control* interval_ = nullptr;
    Control* help_ = nullptr;
    Control* hideToTray_ = nullptr;
    Control* lastSync_ = nullptr;
    HWND toolTip_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::wstring toolTipText_;
    behaviour::StatusLook statusLook_ = behaviour::StatusLook::Normal;
    Badge badgeState_ = Badge::Unset;

    struct BrushDeleter {
        void operator()(HBRUSH brush) const { ::DeleteObject(brush); }
    };
    std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter> onBrush_;
    std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter> offBrush_;

    HelpPage helpPage_;
    HICON smallIcon_ = nullptr;
    std::unique_ptr<TrayIcon> tray_;
    UINT taskbarCreated_ = 0;
    HMENU trayMenu_ = nullptr;
    AccessibleNames accessibleNames_;
    bool dismissing_ = false;

    Worker worker_;
    std::mutex tasksMutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace kelvane::win32
