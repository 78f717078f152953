// Starting with the session on Linux and other XDG desktops: a desktop entry in the
// user's autostart folder, as freedesktop.org's autostart rules describe it.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/PosixFiles.h"
#include "platform/SessionStart.h"
#include "platform/SettingsStore.h"

namespace kelvane::platform {
namespace {

constexpr const char* kEntryName = "kelvane.desktop";
// Far more than an entry ever holds; a larger file is no entry of ours.
constexpr std::size_t kLargestEntry = 64 * 1024;
// The name the package puts on the PATH.
constexpr const char* kPackagedName = "kelvane";

std::string autostartFolder() {
    const std::string configHome = posix::xdgFolder("XDG_CONFIG_HOME", ".config");
    return configHome.empty() ? configHome : configHome + "/autostart";
}

bool sameFile(const std::string& one, const std::string& other) {
    struct stat first {};
    struct stat second {};
    if (::stat(one.c_str(), &first) != 0 || ::stat(other.c_str(), &second) != 0) {
        return one == other;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Where the session would find a bare program name: the first executable file of that
// name in a folder of PATH.
std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

bool isValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// ---- The Exec key, as freedesktop.org's desktop entries spell it ------------------------
// Two layers: the key file's string escapes (\s \n \t \r \\) around the command line's
// own quoting, in which a quoted argument escapes " ` $ and \ with a backslash. A
// literal % is written %%.

std::string quotedArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string keyFileString(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '%':
                escaped += "%%";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string unescapedKeyFileString(const std::string& value) {
    std::string plain;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        const char next = value[++i];
        plain += next == 's'   ? ' '
                 : next == 'n' ? '\n'
                 : next == 't' ? '\t'
                 : next == 'r' ? '\r'
                               : next;
    }
    return plain;
}

// The program an Exec command line starts: its first argument, unquoted.
std::string programOf(const std::string& execValue) {
    const std::string command = unescapedKeyFileString(execValue);
    std::string program;
    if (command.empty() || command[0] != '"') {
        program = command.substr(0, command.find_first_of(" \t"));
    } else {
        for (std::size_t i = 1; i < command.size() && command[i] != '"'; ++i) {
            if (command[i] == '\\' && i + 1 < command.size()) {
                ++i;
            }
            program += command[i];
        }
    }
    std::string literal;  // %% is a literal %
    for (std::size_t i = 0; i < program.size(); ++i) {
        literal += program[i];
        if (program[i] == '%' && i + 1 < program.size() && program[i + 1] == '%') {
            ++i;
        }
    }
    return literal;
}

// The keys of the [Desktop Entry] group that decide whether the session starts it.
struct EntryKeys {
    std::string exec;
    bool hidden = false;
    bool disabledByGnome = false;  // GNOME's own switch for an autostart entry
};

EntryKeys readKeys(const std::string& text) {
    EntryKeys keys;
    std::istringstream lines(text);
    bool inMainGroup = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        key.erase(key.find_last_not_of(' ') + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (key == "Exec") {
            keys.exec = value;
        } else if (key == "Hidden") {
            keys.hidden = value == "true";
        } else if (key == "X-GNOME-Autostart-enabled") {
            keys.disabledByGnome = value == "false";
        }
    }
    return keys;
}

class XdgSessionStart final : public SessionStart {
  public:
    explicit XdgSessionStart(std::string executable)
        : executable_(std::move(executable)), files_(makeSystemSettingsStore()) {}

    Result<bool> isEnabled() override {
        const std::string folder = autostartFolder();
        if (folder.empty()) {
            return false;
        }
        // Looked at before it is opened, so a FIFO in its place cannot block the menu.
        const std::string entry = folder + "/" + kEntryName;
        const Result<SettingsFileLook> look = files_->lookAtSettingsFile(entry);
        if (!look) {
            return Error{look.reason()};
        }
        if (look.value().kind != SettingsFileLook::Kind::OrdinaryFile) {
            return false;
        }
        const Result<std::string> text = files_->readFile(entry, kLargestEntry);
        if (!text) {
            return Error{text.reason()};
        }
        const EntryKeys keys = readKeys(text.value());
        return !keys.hidden && !keys.disabledByGnome && startsThisExecutable(keys.exec);
    }

    Status enable() override {
        const std::string folder = autostartFolder();
        if (folder.empty()) {
            return Error{
                "There is no home folder (HOME is not set) to keep the autostart entry in."};
        }
        if (!isValidUtf8(executable_)) {
            return Error{
                "The program's path is not valid UTF-8, which a desktop entry cannot "
                "name: " +
                executable_};
        }
        if (Status made = files_->createFolders(folder); !made) {
            return made;
        }
        return files_->writeFileAtomically(folder + "/" + kEntryName, entryText());
    }

    Status disable() override {
        const std::string folder = autostartFolder();
        const Result<bool> enabled = isEnabled();
        if (folder.empty() || (enabled && !enabled.value())) {
            return {};  // nothing of ours to take out
        }
        const std::string entry = folder + "/" + kEntryName;
        if (::unlink(entry.c_str()) != 0 && errno != ENOENT) {
            return Error{std::string("Cannot remove ") + entry + ": " + std::strerror(errno)};
        }
        return {};
    }

  private:
    // The packaged program is started by its name on the PATH, so the entry still holds
    // after an upgrade; any other copy by its own absolute path.
    std::string launchCommand() const {
        const std::string onPath = findOnPath(kPackagedName);
        if (!onPath.empty() && sameFile(onPath, executable_)) {
            return kPackagedName;
        }
        return keyFileString(quotedArgument(executable_));
    }

    bool startsThisExecutable(const std::string& execValue) const {
        const std::string program = programOf(execValue);
        if (program.empty()) {
            return false;
        }
        const std::string found =
            program.find('/') == std::string::npos ? findOnPath(program) : program;
        return !found.empty() && sameFile(found, executable_);
    }

    std::string entryText() const {
        return "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Kelvane\n"
               "Comment=Keep two or three copies of one file in step\n"
               "Exec=" +
               launchCommand() +
               "\n"
               "Icon=kelvane\n"
               "Terminal=false\n"
               "StartupNotify=false\n";
    }

    std::string executable_;
    std::unique_ptr<SettingsStore> files_;
};

}  // namespace

std::unique_ptr<SessionStart> makeSystemSessionStart(std::string executable) {
    return std::make_unique<XdgSessionStart>(std::move(executable));
}

}  // namespace kelvane::platform
