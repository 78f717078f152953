#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "behaviour/Face.h"
#include "design/SettingsWindowDesign.h"
#include "win32/AccessibleNames.h"
#include "win32/Control.h"
#include "win32/Fonts.h"
#include "win32/Window.h"

namespace kelvane::win32 {

// The settings window: its controls laid out in twips, their colours, and the focus kept
// as in a dialog. It decides nothing; what the user does comes out as its events.
class SettingsWindow final : public Window {
  public:
    struct Events {
        std::function<void()> syncNow;
        std::function<void()> autoSync;
        std::function<void()> help;
        std::function<void()> hideToTray;
        std::function<void(int slot)> browse;
        std::function<void()> close;             // the close box, the system menu's Close, Alt+F4
        std::function<void()> sessionEnd;        // the log-off is under way
        std::function<bool(int id)> menuChosen;  // false: no entry of the menu
    };
    using MessageHandler = std::function<void(WPARAM, LPARAM)>;

    SettingsWindow();
    ~SettingsWindow() override;

    // Until connected the window answers every message as a plain window does.
    void connect(Events events);
    // Another room's message to this window: the tray icon's, the task queue's, a timer.
    void onMessage(UINT message, MessageHandler handler);

    std::wstring pathText(int slot) const { return row(slot).path->text(); }
    void setPathText(int slot, std::wstring_view text) { row(slot).path->setText(text); }
    behaviour::Tick tick(int slot) const { return row(slot).tick->tick(); }
    void setTick(int slot, behaviour::Tick tick) { row(slot).tick->setTick(tick); }
    std::wstring intervalText() const { return interval_->text(); }
    void setIntervalText(std::wstring_view text) { interval_->setText(text); }
    void lockSlots(bool locked);
    void setAutoSyncBadge(bool on);
    void showStatus(const std::wstring& line, behaviour::StatusLook look, const std::wstring& hint);
    using Window::dpi;

  private:
    struct SlotRow {
        TickBox* tick = nullptr;
        TextBox* path = nullptr;
        Button* browse = nullptr;
    };
    enum class Badge { Unset, On, Off };

    Control* add(const design::Control& design);
    template <typename Kind>
    Kind* find(std::string_view name) const;
    void build();
    void addToolTip();
    void nameForScreenReaders();
    void connectClicks();
    void layout(unsigned dpi);
    void keepCaptionsClearOfControls(unsigned dpi);
    const SlotRow& row(int slot) const { return rows_[static_cast<std::size_t>(slot - 1)]; }

    LRESULT answer(UINT message, WPARAM wParam, LPARAM lParam) override;
    void keepFocus(bool activated);
    void commandArrived(int id, int code);
    LRESULT colourOfStatic(HWND control, HDC dc);

    Events events_;
    bool connected_ = false;
    std::unordered_map<UINT, MessageHandler> handlers_;
    std::unique_ptr<FontSet> fonts_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<Button*> buttons_;
    // By their places in the design's table.
    std::array<Control*, design::kSettingsControls.size()> built_{};
    std::array<SlotRow, 3> rows_{};
    Button* syncNow_ = nullptr;
    Button* autoSync_ = nullptr;
    Control* badge_ = nullptr;
    TextBox* interval_ = nullptr;
    Button* help_ = nullptr;
    Button* hideToTray_ = nullptr;
    Control* lastSync_ = nullptr;
    Control* browseHeading_ = nullptr;
    Control* intervalCaption_ = nullptr;
    Control* secondsCaption_ = nullptr;
    Control* lastSyncCaption_ = nullptr;
    HWND toolTip_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::wstring toolTipText_;
    // The line as last shown: comparing with it asks the label nothing (under Wine each
    // message to the label costs server round trips, and every timed pass shows its line).
    std::optional<std::wstring> statusLine_;
    behaviour::StatusLook statusLook_ = behaviour::StatusLook::Normal;
    Badge badgeState_ = Badge::Unset;

    struct BrushDeleter {
        void operator()(HBRUSH brush) const { ::DeleteObject(brush); }
    };
    std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter> onBrush_;
    std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter> offBrush_;
    AccessibleNames accessibleNames_;
};

}  // namespace kelvane::win32
