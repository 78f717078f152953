// The autostart desktop entry, in a private XDG_CONFIG_HOME, checked as a desktop would.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/SessionStart.h"
#include "support/TempFolder.h"

namespace kelvane::testing {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        set(value);
    }
    ~ScopedEnvironment() { set(old_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    void set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> old_;
};

// What desktop-file-validate says of a file: empty when it finds nothing wrong.
std::string validatorComplaints(const std::string& path) {
    const std::string command = "desktop-file-validate '" + path + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(pipe.release());
    return status == 0 && output.empty() ? std::string()
                                         : output + "(status " + std::to_string(status) + ")";
}

class XdgAutostart : public ::testing::Test {
  protected:
    TempFolder folder;
    ScopedEnvironment configHome{"XDG_CONFIG_HOME", folder.file("config")};
    ScopedEnvironment path{"PATH", std::string("/usr/bin:/bin")};

    std::string entry() const { return folder.file("config/autostart/kelvane.desktop"); }

    // An executable file where a copy of Kelvane would be.
    std::string program(const std::string& relative) const {
        folder.makeFolder(fs::path(relative).parent_path().string());
        const std::string at = folder.file(relative);
        writeFile(at, "#!/bin/sh\n");
        fs::permissions(at, fs::perms::owner_all);
        return at;
    }
};

TEST_F(XdgAutostart, AnEntryForAnAwkwardPathIsValidStartsThisProgramAndGoesWhenSwitchedOff) {
    const std::string kelvane = program("Ann's \"apps\" $HOME 100% `x` back\\slash/Kelvane");
    const auto sessionStart = platform::makeSystemSessionStart(kelvane);
    ASSERT_FALSE(fs::exists(folder.file("config/autostart")));
    EXPECT_FALSE(sessionStart->isEnabled().value());

    ASSERT_TRUE(sessionStart->enable()) << "the autostart folder is made as needed";
    ASSERT_TRUE(fs::exists(entry()));
    EXPECT_EQ(validatorComplaints(entry()), "");
    EXPECT_NE(readFile(entry()).find("\nExec=\""), std::string::npos) << readFile(entry());
    EXPECT_TRUE(sessionStart->isEnabled().value());
    EXPECT_FALSE(platform::makeSystemSessionStart(program("other/Kelvane"))->isEnabled().value())
        << "another copy's tick stays off";

    ASSERT_TRUE(sessionStart->disable());
    EXPECT_FALSE(fs::exists(entry()));
    EXPECT_FALSE(sessionStart->isEnabled().value());
    EXPECT_TRUE(sessionStart->disable()) << "switching off twice is no failure";
}

TEST_F(XdgAutostart, ThePackagedProgramIsStartedByItsNameOnThePath) {
    const std::string kelvane = program("usr/lib/kelvane/Kelvane");
    folder.makeFolder("usr/bin");
    fs::create_symlink("../lib/kelvane/Kelvane", folder.file("usr/bin/kelvane"));
    const ScopedEnvironment packagedPath("PATH", folder.file("usr/bin") + ":/usr/bin:/bin");
    const auto sessionStart = platform::makeSystemSessionStart(kelvane);

    ASSERT_TRUE(sessionStart->enable());
    EXPECT_NE(readFile(entry()).find("\nExec=kelvane\n"), std::string::npos) << readFile(entry());
    EXPECT_EQ(validatorComplaints(entry()), "");
    EXPECT_TRUE(sessionStart->isEnabled().value());
}

TEST_F(XdgAutostart, AnEntryThatIsHiddenSwitchedOffOrForAnotherCopyIsUntickedAndKept) {
    const std::string kelvane = program("bin/Kelvane");
    const auto sessionStart = platform::makeSystemSessionStart(kelvane);
    folder.makeFolder("config/autostart");
    const std::string others[] = {
        "[Desktop Entry]\nType=Application\nName=Kelvane\nExec=\"" + kelvane + "\"\nHidden=true\n",
        "[Desktop Entry]\nType=Application\nName=Kelvane\nExec=" + kelvane +
            "\nX-GNOME-Autostart-enabled=false\n",
        "[Desktop Entry]\nType=Application\nName=Kelvane\nExec=/opt/old/Kelvane\n",
    };
    for (const std::string& text : others) {
        writeFile(entry(), text);
        EXPECT_FALSE(sessionStart->isEnabled().value()) << text;
        if (text.find("/opt/old") != std::string::npos) {
            ASSERT_TRUE(sessionStart->disable());
            EXPECT_EQ(readFile(entry()), text) << "another copy's entry is not ours to remove";
        }
        ASSERT_TRUE(sessionStart->enable());
        EXPECT_TRUE(sessionStart->isEnabled().value()) << "switching on points it here";
    }
}

TEST_F(XdgAutostart, AUsersOwnEntryUnderAnotherNameIsLeftAlone) {
    const std::string kelvane = program("bin/Kelvane");
    const auto sessionStart = platform::makeSystemSessionStart(kelvane);
    folder.makeFolder("config/autostart");
    const std::string own = folder.file("config/autostart/my-kelvane.desktop");
    const std::string text = "[Desktop Entry]\nType=Application\nName=Mine\nExec=" + kelvane + "\n";
    writeFile(own, text);
    EXPECT_FALSE(sessionStart->isEnabled().value());

    ASSERT_TRUE(sessionStart->enable());
    ASSERT_TRUE(sessionStart->disable());
    EXPECT_EQ(readFile(own), text);
}

TEST_F(XdgAutostart, AFifoInTheEntrysPlaceIsNoEntryAndIsNeverOpened) {
    const std::string kelvane = program("bin/Kelvane");
    folder.makeFolder("config/autostart");
    ASSERT_EQ(::mkfifo(entry().c_str(), 0600), 0);

    const platform::Result<bool> enabled = platform::makeSystemSessionStart(kelvane)->isEnabled();
    ASSERT_TRUE(enabled);
    EXPECT_FALSE(enabled.value());
}

TEST_F(XdgAutostart, WithoutAnAbsoluteConfigHomeTheEntryGoesUnderTheHomeFolder) {
    const std::string kelvane = program("bin/Kelvane");
    const ScopedEnvironment relative("XDG_CONFIG_HOME", std::string("config"));
    const ScopedEnvironment home("HOME", folder.file("home"));

    ASSERT_TRUE(platform::makeSystemSessionStart(kelvane)->enable());
    EXPECT_TRUE(fs::exists(folder.file("home/.config/autostart/kelvane.desktop")));
}

TEST_F(XdgAutostart, AFolderThatCannotHoldTheEntryIsAFailureWithItsReason) {
    const std::string kelvane = program("bin/Kelvane");
    folder.makeFolder("config");
    writeFile(folder.file("config/autostart"), "a file where the folder would be");

    const platform::Status enabled = platform::makeSystemSessionStart(kelvane)->enable();
    ASSERT_FALSE(enabled);
    EXPECT_NE(enabled.reason().find(folder.file("config/autostart")), std::string::npos)
        << enabled.reason();
    EXPECT_EQ(readFile(folder.file("config/autostart")), "a file where the folder would be");
}

}  // namespace
}  // namespace kelvane::testing
