#include "platform/WideText.h"

#include <windows.h>

namespace kelvane::platform {
namespace {

std::wstring widen(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view wide, UINT codePage) {
    if (wide.empty()) {
        return {};
    }
    const bool eightBit = codePage != CP_UTF8 && ::GetACP() != CP_UTF8;
    const DWORD flags = eightBit ? WC_NO_BEST_FIT_CHARS : 0;
    const int size = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr,
                          nullptr);
    return text;
}

}  // namespace

std::wstring toWide(std::string_view utf8) {
    return widen(utf8, CP_UTF8);
}

std::string toUtf8(std::wstring_view wide) {
    return narrow(wide, CP_UTF8);
}

std::wstring wideFromAnsi(std::string_view bytes) {
    return widen(bytes, CP_ACP);
}

std::string ansiFromWide(std::wstring_view wide) {
    return narrow(wide, CP_ACP);
}

}  // namespace kelvane::platform
