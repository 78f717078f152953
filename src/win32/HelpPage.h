#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "win32/Control.h"
#include "win32/Fonts.h"
#include "win32/Window.h"

namespace kelvane::win32 {

// The help page: how Kelvane works, its version and "OK". Esc or OK closes it.
class HelpPage final : public Window {
  public:
    HelpPage();
    ~HelpPage() override;

    // Opens the page 400 twips right of and below `mainWindow`'s corner, owned by it or
    // not; an open page is only brought forward.
    void open(HWND mainWindow, bool ownedByMainWindow);
    void close();
    // Puts an open page in front of every other window of the program.
    void raise();
    bool isOpen() const { return handle() != nullptr; }

  private:
    LRESULT answer(UINT message, WPARAM wParam, LPARAM lParam) override;
    void build();
    void layout(unsigned dpi);
    void growToLines(unsigned dpi);

    std::unique_ptr<FontSet> fonts_;
    std::vector<std::unique_ptr<Control>> controls_;
};

}  // namespace kelvane::win32
