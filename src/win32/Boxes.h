#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "behaviour/Face.h"

namespace kelvane::win32 {

// Every modal question the program asks: the message boxes and the file dialog, behind one
// seam so a test can answer them without a box on the screen.
class Boxes {
  public:
    virtual ~Boxes() = default;

    virtual void showMessage(HWND owner, behaviour::BoxKind kind, const std::string& text) = 0;
    // Yes and No, No the default. True for Yes.
    virtual bool askYesNo(HWND owner, const std::string& text) = 0;
    // A file to open, starting in `folder`; nothing when the user cancels.
    virtual std::optional<std::string> chooseFile(HWND owner, const std::string& title,
                                                  const std::string& folder) = 0;
    // The session is ending: every open box goes as if cancelled (No, Cancel), and every
    // later one is answered so without being shown.
    virtual void dismissAll() = 0;
};

// The system's boxes, system-modal, titled "Kelvane", and its file-open dialog.
class SystemBoxes final : public Boxes {
  public:
    void showMessage(HWND owner, behaviour::BoxKind kind, const std::string& text) override;
    bool askYesNo(HWND owner, const std::string& text) override;
    std::optional<std::string> chooseFile(HWND owner, const std::string& title,
                                          const std::string& folder) override;
    void dismissAll() override;

  private:
    bool dismissing_ = false;
};

}  // namespace kelvane::win32
