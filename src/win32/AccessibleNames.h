#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct IAccPropServices;

namespace kelvane::win32 {

// Names and descriptions for screen readers on controls whose caption says nothing (a
// tick box without text, a "---" button, a path box), given through the system's
// annotation service so Windows' own proxies for the standard controls report them.
class AccessibleNames {
  public:
    AccessibleNames();
    ~AccessibleNames();
    AccessibleNames(const AccessibleNames&) = delete;
    AccessibleNames& operator=(const AccessibleNames&) = delete;

    void name(HWND control, const std::wstring& name);
    void describe(HWND control, const std::wstring& description);
    // Takes the annotations off again; the service keeps them until told.
    void clear();

  private:
    IAccPropServices* services_ = nullptr;
    std::vector<HWND> annotated_;
};

}  // namespace kelvane::win32
