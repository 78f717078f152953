#include "settings/IniDocument.h"

namespace kelvane::settings {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// What Windows readers drop around a value: blanks, the other white space, and Ctrl-Z,
// the old end-of-file mark. Quoting for all of them keeps such values intact there too.
bool isDroppedAtEnds(char c) {
    return isBlank(c) || c == '\v' || c == '\f' || c == '\x1a';
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool hasOuterQuotes(std::string_view text) {
    return text.size() >= 2 && isQuote(text.front()) && text.back() == text.front();
}

// One line as the reader sees it.
struct LineMeaning {
    enum class Kind { Section, Entry, Other } kind = Kind::Other;
    std::string_view name;   // the section name or the key
    std::size_t equals = 0;  // position of the "=" of an entry
};

LineMeaning meaningOf(std::string_view line) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == ';') {
        return {};
    }
    if (line[start] == '[') {
        const std::size_t close = line.find(']', start + 1);
        if (close == std::string_view::npos) {
            return {};  // an unfinished header names no section and holds no key
        }
        return {LineMeaning::Kind::Section, trimBlanks(line.substr(start + 1, close - start - 1))};
    }
    const std::size_t equals = line.find('=', start);
    if (equals == std::string_view::npos) {
        return {};
    }
    return {LineMeaning::Kind::Entry, trimBlanks(line.substr(start, equals - start)), equals};
}

std::string readerValue(std::string_view line, std::size_t equals) {
    std::string_view value = trimBlanks(line.substr(equals + 1));
    if (hasOuterQuotes(value)) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

std::size_t lineEndLength(std::string_view text, std::size_t at) {
    if (text[at] == '\n') {
        return 1;
    }
    return (at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view text, std::string_view newFileLineEnd) {
    IniDocument document;
    if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        document.mark_ = kUtf8Mark;
        text.remove_prefix(kUtf8Mark.size());
    }
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            document.lines_.push_back({std::string(text.substr(start)), ""});
            break;
        }
        const std::size_t endLength = lineEndLength(text, end);
        document.lines_.push_back({std::string(text.substr(start, end - start)),
                                   std::string(text.substr(end, endLength))});
        start = end + endLength;
    }
    const bool hasLineEnd = !document.lines_.empty() && !document.lines_.front().end.empty();
    document.lineEnd_ = hasLineEnd ? document.lines_.front().end : std::string(newFileLineEnd);
    return document;
}

std::optional<std::string> IniDocument::value(std::string_view section,
                                              std::string_view key) const {
    const auto header = findSection(section);
    if (!header) {
        return std::nullopt;
    }
    const auto entry = findEntry(*header, key);
    if (!entry) {
        return std::nullopt;
    }
    const std::string& line = lines_[*entry].content;
    return readerValue(line, meaningOf(line).equals);
}

void IniDocument::setValue(std::string_view section, std::string_view key,
                           std::string_view storedText) {
    const std::string entry = std::string(key) + "=" + std::string(storedText);
    const auto header = findSection(section);
    if (!header) {
        appendSection(section, entry);
        return;
    }
    if (const auto existing = findEntry(*header, key)) {
        // Keeps the key as the file spells it and everything up to its "=".
        std::string& line = lines_[*existing].content;
        line = line.substr(0, meaningOf(line).equals + 1) + std::string(storedText);
        return;
    }
    insertAfter(lastEntryOf(*header), entry);
}

std::string IniDocument::text() const {
    std::string text = mark_;
    for (const Line& line : lines_) {
        text += line.content;
        text += line.end;
    }
    return text;
}

std::optional<std::size_t> IniDocument::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineMeaning meaning = meaningOf(lines_[i].content);
        if (meaning.kind == LineMeaning::Kind::Section && sameName(meaning.name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> IniDocument::findEntry(std::size_t header, std::string_view key) const {
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        const LineMeaning meaning = meaningOf(lines_[i].content);
        if (meaning.kind == LineMeaning::Kind::Section) {
            break;
        }
        if (meaning.kind == LineMeaning::Kind::Entry && sameName(meaning.name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

// A new key goes after the last entry rather than at the section's end, so comments and
// blank lines that lead into the next section stay with it.
std::size_t IniDocument::lastEntryOf(std::size_t header) const {
    std::size_t last = header;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        const LineMeaning meaning = meaningOf(lines_[i].content);
        if (meaning.kind == LineMeaning::Kind::Section) {
            break;
        }
        if (meaning.kind == LineMeaning::Kind::Entry) {
            last = i;
        }
    }
    return last;
}

// A file that did not end with a line end still does not after the insertion.
void IniDocument::insertAfter(std::size_t index, std::string content) {
    Line& previous = lines_[index];
    Line added{std::move(content), previous.end.empty() ? std::string() : lineEnd_};
    if (previous.end.empty()) {
        previous.end = lineEnd_;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index) + 1, std::move(added));
}

void IniDocument::appendSection(std::string_view section, std::string_view entry) {
    if (!lines_.empty()) {
        if (lines_.back().end.empty()) {
            lines_.back().end = lineEnd_;
        }
        if (!trimBlanks(lines_.back().content).empty()) {
            lines_.push_back({"", lineEnd_});  // a blank line sets sections apart for the eye
        }
    }
    lines_.push_back({"[" + std::string(section) + "]", lineEnd_});
    lines_.push_back({std::string(entry), lineEnd_});
}

std::string storedFormOf(std::string_view value) {
    std::string oneLine;
    oneLine.reserve(value.size() + 2);
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' || value[i] == '\n') {
            oneLine += ' ';
            if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
                ++i;
            }
        } else {
            oneLine += value[i];
        }
    }
    const bool readerWouldAlter =
        !oneLine.empty() && (isDroppedAtEnds(oneLine.front()) || isDroppedAtEnds(oneLine.back()) ||
                             hasOuterQuotes(oneLine));
    return readerWouldAlter ? "\"" + oneLine + "\"" : oneLine;
}

}  // namespace kelvane::settings
