#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "behaviour/Face.h"
#include "win32/Fonts.h"

namespace kelvane::win32 {

// A rectangle in twips (1/1440 inch), relative to the window's client area.
struct Twips {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

inline int toPixels(int twips, unsigned dpi) {
    return ::MulDiv(twips, static_cast<int>(dpi), 1440);
}

class Control;

// Badge: a centred label in a thin border, for the auto-sync state.
enum class ControlKind { Frame, Label, Badge, CheckBox, TextBox, Button };

// What a control is made from.
struct ControlArgs {
    HWND parent = nullptr;
    int id = 0;
    ControlKind kind = ControlKind::Label;
    std::wstring text;
    Twips place;
    FontRole font = FontRole::Default;
    bool fitToText = false;  // a label as wide as its caption, in its font at the DPI
    // The frame the control lies in: a label never reaches over its right border.
    const Control* frame = nullptr;
};

// One standard control over its HWND: the few calls every kind answers. Frames and
// labels are plain controls; the kinds below add what only they do.
class Control {
  public:
    explicit Control(const ControlArgs& args);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    HWND handle() const { return handle_; }
    int id() const { return id_; }

    std::wstring text() const;
    void setText(std::wstring_view text);
    void setEnabled(bool enabled);
    void setFont(FontRole role, const FontSet& fonts);

    // Places and sizes the control for the fonts' DPI.
    void layout(const FontSet& fonts);

    // Where layout put it, in pixels of its parent's client area.
    RECT place() const;
    // Moves or resizes it after layout; a label stays cut at its frame's inner edge.
    void setPlace(RECT place);
    // The first pixel column right of what a frame's border leaves inside it.
    int innerRight() const;
    // The width a label's caption needs in its font, at the DPI of the last layout.
    int captionWidth() const;

  private:
    SIZE textSize(HFONT font) const;
    bool isLabel() const { return kind_ == ControlKind::Label || kind_ == ControlKind::Badge; }

    HWND handle_ = nullptr;
    int id_;
    ControlKind kind_;
    Twips place_;
    FontRole font_;
    bool fitToText_;
    const Control* frame_;
    unsigned dpi_ = 96;
};

// A push button; its window hands WM_COMMAND's clicks to `onClick`.
class Button final : public Control {
  public:
    using Control::Control;
    // The button Enter presses.
    void makeDefault();

    std::function<void()> onClick;
};

// A tick box of a file's row: off, on, or greyed for a stored file that is not there.
class TickBox final : public Control {
  public:
    using Control::Control;
    behaviour::Tick tick() const;
    void setTick(behaviour::Tick tick);
};

// A one-line text box.
class TextBox final : public Control {
  public:
    using Control::Control;
    void limitLength(int characters);
    // "060" scrolled to its end would show as "60": the box grows until three digits and
    // the caret after them fit inside its margins.
    void showThreeDigitsWhole();
};

}  // namespace kelvane::win32
