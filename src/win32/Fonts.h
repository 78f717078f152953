#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <type_traits>

namespace kelvane::win32 {

// The faces the windows are designed in, at their sizes.
enum class FontRole {
    Default,      // MS Sans Serif 8.25 pt
    DefaultBold,  // the same, bold: frame captions, help headings, a finished pass
    PathBox,      // Calibri 9.75 pt
    Badge,        // Calibri 8.25 pt
    Version,      // Calibri 9 pt
};

// One font of each role for one DPI. Where a designed face is not installed, the system's
// message font stands in at the designed size, so no caption is cut for want of a font.
class FontSet {
  public:
    explicit FontSet(unsigned dpi);
    HFONT get(FontRole role) const { return fonts_[static_cast<std::size_t>(role)].get(); }
    unsigned dpi() const { return dpi_; }

  private:
    struct FontDeleter {
        void operator()(HFONT font) const { ::DeleteObject(font); }
    };
    using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

    unsigned dpi_;
    std::array<Font, 5> fonts_;
};

}  // namespace kelvane::win32
