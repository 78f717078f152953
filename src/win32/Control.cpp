#include "win32/Control.h"

#include <algorithm>

#include "behaviour/Face.h"

namespace kelvane::win32 {
namespace {

struct KindStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

KindStyle styleOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Frame:
            return {L"BUTTON", BS_GROUPBOX, 0};
        case ControlKind::Label:
            // SS_NOTIFY lets a tool tip see the pointer over the label.
            return {L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY, 0};
        case ControlKind::Badge:
            return {L"STATIC", SS_CENTER | SS_NOPREFIX | SS_NOTIFY | WS_BORDER, 0};
        case ControlKind::CheckBox:
            return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
        case ControlKind::TextBox:
            return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::Button:
            return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    }
    return {L"STATIC", 0, 0};
}

}  // namespace

Control::Control(const ControlArgs& args)
    : id_(args.id),
      kind_(args.kind),
      place_(args.place),
      font_(args.font),
      fitToText_(args.fitToText),
      frame_(args.frame) {
    const KindStyle kind = styleOf(args.kind);
    handle_ = ::CreateWindowExW(kind.exStyle, kind.className, args.text.c_str(),
                                WS_CHILD | WS_VISIBLE | kind.style, 0, 0, 0, 0, args.parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)),
                                ::GetModuleHandleW(nullptr), nullptr);
}

Control::~Control() {
    if (::IsWindow(handle_)) {
        ::DestroyWindow(handle_);
    }
}

std::wstring Control::text() const {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(handle_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(handle_, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Control::setText(std::wstring_view text) {
    const std::wstring terminated(text);
    if (terminated == this->text()) {
        return;  // every timed pass sets the line again; spare the repaint
    }
    ::SetWindowTextW(handle_, terminated.c_str());
}

void Control::setEnabled(bool enabled) {
    ::EnableWindow(handle_, enabled ? TRUE : FALSE);
}

void Control::setFont(FontRole role, const FontSet& fonts) {
    font_ = role;
    ::SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.get(role)), TRUE);
    if (fitToText_) {
        layout(fonts);
    }
}

void Control::layout(const FontSet& fonts) {
    dpi_ = fonts.dpi();
    HFONT font = fonts.get(font_);
    ::SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const int left = toPixels(place_.left, dpi_);
    const int top = toPixels(place_.top, dpi_);
    int width = toPixels(place_.width, dpi_);
    int height = toPixels(place_.height, dpi_);
    if (isLabel()) {
        // A stand-in font may be taller or wider than the designed one.
        const SIZE needed = textSize(font);
        height = std::max(height, static_cast<int>(needed.cy));
        // A label is as wide as its caption; a badge keeps its designed box around it.
        if (fitToText_) {
            width = kind_ == ControlKind::Badge ? std::max(width, captionWidth()) : captionWidth();
        }
    }
    setPlace({left, top, left + width, top + height});
    ::InvalidateRect(handle_, nullptr, TRUE);
}

RECT Control::place() const {
    RECT place{};
    ::GetWindowRect(handle_, &place);
    ::MapWindowPoints(nullptr, ::GetParent(handle_), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void Control::setPlace(RECT place) {
    if (isLabel() && frame_ != nullptr) {
        place.right = std::max(place.left, std::min(place.right, LONG{frame_->innerRight()}));
    }
    ::SetWindowPos(handle_, nullptr, place.left, place.top, place.right - place.left,
                   place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

int Control::innerRight() const {
    return place().right - ::GetSystemMetricsForDpi(SM_CXEDGE, dpi_);
}

int Control::captionWidth() const {
    // Two pixels more at 96 DPI: the last letter of some faces reaches past its advance.
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(handle_, WM_GETFONT, 0, 0));
    return static_cast<int>(textSize(font).cx) + ::MulDiv(2, static_cast<int>(dpi_), 96);
}

SIZE Control::textSize(HFONT font) const {
    const std::wstring caption = text();
    HDC dc = ::GetDC(handle_);
    HGDIOBJ old = ::SelectObject(dc, font);
    const DWORD extent =
        ::GetTabbedTextExtentW(dc, caption.c_str(), static_cast<int>(caption.size()), 0, nullptr);
    ::SelectObject(dc, old);
    ::ReleaseDC(handle_, dc);
    return {LOWORD(extent), HIWORD(extent)};
}

void Button::makeDefault() {
    ::SendMessageW(handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
}

behaviour::Tick TickBox::tick() const {
    switch (::SendMessageW(handle(), BM_GETCHECK, 0, 0)) {
        case BST_CHECKED:
            return behaviour::Tick::On;
        case BST_INDETERMINATE:
            return behaviour::Tick::Greyed;
        default:
            return behaviour::Tick::Off;
    }
}

void TickBox::setTick(behaviour::Tick tick) {
    const WPARAM check = tick == behaviour::Tick::On       ? BST_CHECKED
                         : tick == behaviour::Tick::Greyed ? BST_INDETERMINATE
                                                           : BST_UNCHECKED;
    // The greyed state of a stored file can only be shown by a three-state box.
    const LONG_PTR style = ::GetWindowLongPtrW(handle(), GWL_STYLE) & ~LONG_PTR{BS_TYPEMASK};
    const LONG_PTR kind = check == BST_INDETERMINATE ? BS_AUTO3STATE : BS_AUTOCHECKBOX;
    ::SendMessageW(handle(), BM_SETSTYLE, static_cast<WPARAM>(style | kind), FALSE);
    ::SendMessageW(handle(), BM_SETCHECK, check, 0);
}

void TextBox::limitLength(int characters) {
    ::SendMessageW(handle(), EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void TextBox::showThreeDigitsWhole() {
    RECT inside{};
    ::SendMessageW(handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&inside));
    HDC dc = ::GetDC(handle());
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(handle(), WM_GETFONT, 0, 0)));
    SIZE digits{};
    ::GetTextExtentPoint32W(dc, L"000", 3, &digits);
    ::SelectObject(dc, old);
    ::ReleaseDC(handle(), dc);
    const int caret = 2 * ::GetSystemMetrics(SM_CXBORDER);
    const int missing = digits.cx + caret - (inside.right - inside.left);
    if (missing > 0) {
        RECT grown = place();
        grown.right += missing;
        setPlace(grown);
    }
}

}  // namespace kelvane::win32
