#pragma once

#include <string>
#include <string_view>

namespace kelvane::settings {

// How a settings file's bytes carry its text. Windows' own profile functions read and
// write a file that starts with a UTF-16LE byte order mark in UTF-16, so such files exist;
// a file that starts with a UTF-8 mark is UTF-8 whatever the system's 8-bit code page.
enum class TextEncoding {
    SystemBytes,  // no mark: the system's 8-bit text (UTF-8 on Linux, the ANSI code page
                  // on Windows), converted by the file system's profile byte functions
    Utf8,         // UTF-8 after a UTF-8 byte order mark
    Utf16LE,      // UTF-16LE after its byte order mark
};

// A settings file's text for the INI reader: UTF-8 for the marked encodings, the bytes
// themselves otherwise. Decoding and encoding again gives the same bytes, whatever they
// are: unpaired UTF-16 halves travel as their three-byte forms, and a last odd byte of a
// UTF-16 file is kept aside.
struct DecodedText {
    TextEncoding encoding = TextEncoding::SystemBytes;
    std::string text;
    std::string oddByte;
};

DecodedText decodeSettingsBytes(std::string_view bytes);

// The file's bytes for text in the encoding the file was read in.
std::string encodeSettingsText(TextEncoding encoding, std::string_view text,
                               std::string_view oddByte = {});

// Text that encodes into UTF-16 as the user meant it: every byte sequence that is not
// UTF-8 becomes U+FFFD, the replacement character.
std::string validUtf8(std::string_view text);

}  // namespace kelvane::settings
