#include "win32/Fonts.h"

#include <cwchar>

namespace kelvane::win32 {
namespace {

struct FontDesign {
    const wchar_t* faces[2];  // the first installed one is used
    double points;
    bool bold;
};

// "Microsoft Sans Serif" is the scalable outline of "MS Sans Serif", which Windows keeps
// only as a bitmap that blurs at high DPI.
constexpr FontDesign kDesigns[] = {
    {{L"Microsoft Sans Serif", L"MS Sans Serif"}, 8.25, false},
    {{L"Microsoft Sans Serif", L"MS Sans Serif"}, 8.25, true},
    {{L"Calibri", nullptr}, 9.75, false},
    {{L"Calibri", nullptr}, 8.25, false},
    {{L"Calibri", nullptr}, 9.0, false},
};

int CALLBACK noteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool isInstalled(const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    HDC screen = ::GetDC(nullptr);
    ::EnumFontFamiliesExW(screen, &wanted, noteFound, reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, screen);
    return found;
}

LOGFONTW messageFont(unsigned dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    return metrics.lfMessageFont;
}

HFONT makeFont(const FontDesign& design, unsigned dpi) {
    LOGFONTW font = messageFont(dpi);
    for (const wchar_t* face : design.faces) {
        if (face != nullptr && isInstalled(face)) {
            std::wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
            break;
        }
    }
    font.lfHeight = -static_cast<LONG>(design.points * dpi / 72.0 + 0.5);
    font.lfWidth = 0;
    font.lfWeight = design.bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = FALSE;
    font.lfQuality = CLEARTYPE_QUALITY;
    return ::CreateFontIndirectW(&font);
}

}  // namespace

FontSet::FontSet(unsigned dpi) : dpi_(dpi) {
    for (std::size_t role = 0; role < fonts_.size(); ++role) {
        fonts_[role].reset(makeFont(kDesigns[role], dpi));
    }
}

}  // namespace kelvane::win32
