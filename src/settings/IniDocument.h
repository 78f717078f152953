#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvane::settings {

// An INI file's text, read and written the way the Windows profile functions
// (GetPrivateProfileString, WritePrivateProfileString) do, so files written on Windows load
// with the same values. Only the value of a changed key is rewritten: comments, unknown
// keys, blank lines and the file's line ends stay byte for byte.
//
// Reading: names match without regard to ASCII case; leading blanks on a line are ignored;
// a line starting with ";" is a comment; "[name]" opens a section (text after the first "]"
// is ignored); other lines split at the first "="; blanks around key and value are dropped,
// then one pair of matching outer quotes. The first matching section and key win; lines
// before the first section belong to none. CRLF, LF and CR all end a line.
//
// The document is kept as the one text it was parsed from and searched afresh on every
// question, so its memory is the file's size however many lines the file has.
class IniDocument {
  public:
    // newFileLineEnd is used for added lines when the text holds no line end to copy.
    static IniDocument parse(std::string_view text, std::string_view newFileLineEnd);

    // The value as the reader sees it, or nothing when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Stores storedText (see storedFormOf) as the key's value: in place when the key
    // exists, else after the section's last entry, else in a new section at the end.
    void setValue(std::string_view section, std::string_view key, std::string_view storedText);

    const std::string& text() const { return text_; }

  private:
    // One line of text_: its content runs from begin to end, its line end from end to next.
    struct Line {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::size_t next = 0;

        bool hasLineEnd() const { return next > end; }
    };

    Line lineAt(std::size_t begin) const;
    std::string_view contentOf(const Line& line) const;
    std::optional<Line> findSection(std::string_view section) const;
    std::optional<Line> findEntry(const Line& header, std::string_view key) const;
    Line lastEntryOf(const Line& header) const;
    Line lastLine() const;
    void insertAfter(const Line& line, std::string_view content);
    void appendSection(std::string_view section, std::string_view entry);

    std::string text_;
    std::string lineEnd_;
};

// The text to store so that the reader returns value exactly: each line break (CRLF, CR or
// LF) becomes one blank, so a value can never start a line of its own; a value the reader
// would alter (blanks at an end, or a matching pair of outer quotes) is wrapped in double
// quotes, which the reader removes again.
std::string storedFormOf(std::string_view value);

}  // namespace kelvane::settings
