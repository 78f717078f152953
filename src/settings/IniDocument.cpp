#include "settings/IniDocument.h"

namespace kelvane::settings {
namespace {

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
    document.text_ = std::string(text);
    const std::size_t firstEnd = text.find_first_of("\r\n");
    document.lineEnd_ = firstEnd == std::string_view::npos
                            ? std::string(newFileLineEnd)
                            : std::string(text.substr(firstEnd, lineEndLength(text, firstEnd)));
    return document;
}

IniDocument::Line IniDocument::lineAt(std::size_t begin) const {
    const std::size_t end = text_.find_first_of("\r\n", begin);
    if (end == std::string::npos) {
        return {begin, text_.size(), text_.size()};
    }
    return {begin, end, end + lineEndLength(text_, end)};
}

std::string_view IniDocument::contentOf(const Line& line) const {
    return std::string_view(text_).substr(line.begin, line.end - line.begin);
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
    const std::string_view line = contentOf(*entry);
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
        const std::size_t valueStart = existing->begin + meaningOf(contentOf(*existing)).equals + 1;
        text_.replace(valueStart, existing->end - valueStart, storedText);
        return;
    }
    insertAfter(lastEntryOf(*header), entry);
}

std::optional<IniDocument::Line> IniDocument::findSection(std::string_view section) const {
    for (std::size_t at = 0; at < text_.size();) {
        const Line line = lineAt(at);
        const LineMeaning meaning = meaningOf(contentOf(line));
        if (meaning.kind == LineMeaning::Kind::Section && sameName(meaning.name, section)) {
            return line;
        }
        at = line.next;
    }
    return std::nullopt;
}

std::optional<IniDocument::Line> IniDocument::findEntry(const Line& header,
                                                        std::string_view key) const {
    for (std::size_t at = header.next; at < text_.size();) {
        const Line line = lineAt(at);
        const LineMeaning meaning = meaningOf(contentOf(line));
        if (meaning.kind == LineMeaning::Kind::Section) {
            break;
        }
        if (meaning.kind == LineMeaning::Kind::Entry && sameName(meaning.name, key)) {
            return line;
        }
        at = line.next;
    }
    return std::nullopt;
}

// A new key goes after the last entry rather than at the section's end, so comments and
// blank lines that lead into the next section stay with it.
IniDocument::Line IniDocument::lastEntryOf(const Line& header) const {
    Line last = header;
    for (std::size_t at = header.next; at < text_.size();) {
        const Line line = lineAt(at);
        const LineMeaning meaning = meaningOf(contentOf(line));
        if (meaning.kind == LineMeaning::Kind::Section) {
            break;
        }
        if (meaning.kind == LineMeaning::Kind::Entry) {
            last = line;
        }
        at = line.next;
    }
    return last;
}

// The line that ends the text: after its last line end, or the line that line end ends.
IniDocument::Line IniDocument::lastLine() const {
    const std::size_t lastEnd = text_.find_last_of("\r\n");
    if (lastEnd == std::string::npos) {
        return {0, text_.size(), text_.size()};
    }
    if (lastEnd + 1 < text_.size()) {
        return {lastEnd + 1, text_.size(), text_.size()};
    }
    const bool crlf = text_[lastEnd] == '\n' && lastEnd > 0 && text_[lastEnd - 1] == '\r';
    const std::size_t end = crlf ? lastEnd - 1 : lastEnd;
    const std::size_t previousEnd =
        end == 0 ? std::string::npos : text_.find_last_of("\r\n", end - 1);
    return {previousEnd == std::string::npos ? 0 : previousEnd + 1, end, text_.size()};
}

// A file that did not end with a line end still does not after the insertion.
void IniDocument::insertAfter(const Line& line, std::string_view content) {
    if (line.hasLineEnd()) {
        text_.insert(line.next, std::string(content) + lineEnd_);
    } else {
        text_.insert(line.end, lineEnd_ + std::string(content));
    }
}

void IniDocument::appendSection(std::string_view section, std::string_view entry) {
    if (!text_.empty()) {
        const Line last = lastLine();
        if (!last.hasLineEnd()) {
            text_ += lineEnd_;
        }
        if (!trimBlanks(contentOf(last)).empty()) {
            text_ += lineEnd_;  // a blank line sets sections apart for the eye
        }
    }
    text_ += "[" + std::string(section) + "]" + lineEnd_;
    text_ += std::string(entry) + lineEnd_;
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
