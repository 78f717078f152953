#pragma once

#include <string>
#include <string_view>

namespace kelvane::platform {

// Our own strings are UTF-8; the Windows API's are UTF-16. These two convert at the edge,
// for every part of the program that talks to Windows.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);

// The same for the ANSI code page's bytes, which only the settings file uses. A character
// the code page lacks becomes "?", never a "best fit" look-alike: that would turn a path
// with an omega into one with an O, which may name another file; "?" can name none.
std::wstring wideFromAnsi(std::string_view bytes);
std::string ansiFromWide(std::wstring_view wide);

}  // namespace kelvane::platform
