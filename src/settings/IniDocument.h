#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::settings {

// An INI file held as its lines, read and written the way the Windows profile functions
// (GetPrivateProfileString, WritePrivateProfileString) do, so files written on Windows load
// with the same values. Only the value of a changed key is rewritten: comments, unknown
// keys, blank lines and the file's line ends stay byte for byte.
//
// Reading: names match without regard to ASCII case; leading blanks on a line are ignored;
// a line starting with ";" is a comment; "[name]" opens a section (text after the first "]"
// is ignored); other lines split at the first "="; blanks around key and value are dropped,
// then one pair of matching outer quotes. The first matching section and key win; lines
// before the first section belong to none. CRLF, LF and CR all end a line.
class IniDocument {
  public:
    // newFileLineEnd is used for added lines when the text holds no line end to copy.
    static IniDocument parse(std::string_view text, std::string_view newFileLineEnd);

    // The value as the reader sees it, or nothing when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Stores storedText (see storedFormOf) as the key's value: in place when the key
    // exists, else after the section's last entry, else in a new section at the end.
    void setValue(std::string_view section, std::string_view key, std::string_view storedText);

    std::string text() const;

  private:
    struct Line {
        std::string content;
        std::string end;  // "\r\n", "\n", "\r", or empty for a last line without one
    };

    std::optional<std::size_t> findSection(std::string_view section) const;
    std::optional<std::size_t> findEntry(std::size_t header, std::string_view key) const;
    std::size_t lastEntryOf(std::size_t header) const;
    void insertAfter(std::size_t index, std::string content);
    void appendSection(std::string_view section, std::string_view entry);

    std::string mark_;  // a UTF-8 byte order mark some editors put first, kept as found
    std::vector<Line> lines_;
    std::string lineEnd_;
};

// The text to store so that the reader returns value exactly: each line break (CRLF, CR or
// LF) becomes one blank, so a value can never start a line of its own; a value the reader
// would alter (blanks at an end, or a matching pair of outer quotes) is wrapped in double
// quotes, which the reader removes again.
std::string storedFormOf(std::string_view value);

}  // namespace kelvane::settings
