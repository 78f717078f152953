#include "win32/Fonts.h"

#include <cwchar>
#include <utility>
#include <vector>

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

// Each face is looked for once: a look-up walks the system's fonts, and the roles share
// two faces.
class InstalledFaces {
  public:
    const wchar_t* firstOf(const wchar_t* const (&faces)[2]) {
        for (const wchar_t* face : faces) {
            if (face != nullptr && has(face)) {
                return face;
            }
        }
        return nullptr;
    }

  private:
    bool has(const wchar_t* face) {
        for (const auto& [known, installed] : known_) {
            if (std::wcscmp(known, face) == 0) {
                return installed;
            }
        }
        return known_.emplace_back(face, isInstalled(face)).second;
    }

    std::vector<std::pair<const wchar_t*, bool>> known_;
};

LOGFONTW messageFont(unsigned dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    return metrics.lfMessageFont;
}

HFONT makeFont(const FontDesign& design, const wchar_t* face, LOGFONTW font, unsigned dpi) {
    if (face != nullptr) {
        std::wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
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
    const LOGFONTW standIn = messageFont(dpi);
    InstalledFaces installed;
    for (std::size_t role = 0; role < fonts_.size(); ++role) {
        const FontDesign& design = kDesigns[role];
        fonts_[role].reset(makeFont(design, installed.firstOf(design.faces), standIn, dpi));
    }
}

}  // namespace kelvane::win32
