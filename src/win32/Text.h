#pragma once

#include <string>
#include <string_view>

namespace kelvane::win32 {

// Our own strings are UTF-8; the system's are UTF-16. These two convert at the edge.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);

}  // namespace kelvane::win32
