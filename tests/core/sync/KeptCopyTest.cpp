// What a copy replaces is kept: in the home trash, in its own volume's trash or beside it,
// as a desktop's trash lists and restores it, bounded to the newest ten of Kelvane's own.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>

#include "platform/FileSystem.h"
#include "support/TempFolder.h"

namespace kelvane::testing {
namespace {

namespace fs = std::filesystem;
using platform::KeptCopy;

constexpr std::int64_t kOld = 1'600'000'000;
constexpr std::int64_t kNew = 1'700'000'000;

// Output of a shell command run in `folder`.
std::string runIn(const std::string& folder, const std::string& command) {
    const std::string line = "cd '" + folder + "' && " + command + " 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(line.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        ::pclose(pipe);
    }
    return output;
}

class KeptCopyTest : public ::testing::Test {
  protected:
    TempFolder folder;
    std::unique_ptr<platform::FileSystem> system = platform::makeSystemFileSystem();
    std::string savedDataHome = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    std::string trash = folder.file("data/Trash");
    std::vector<std::string> mounts;

    KeptCopyTest() { ::setenv("XDG_DATA_HOME", folder.file("data").c_str(), 1); }
    ~KeptCopyTest() override {
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
            ::umount(it->c_str());
        }
        ::setenv("XDG_DATA_HOME", savedDataHome.c_str(), 1);
    }

    // A tmpfs mounted in the folder as a second volume; false where mounts are not allowed.
    bool mountVolume(const std::string& name) {
        const auto at = folder.makeFolder(name);
        if (::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=4m") != 0) {
            return false;
        }
        mounts.push_back(at.string());
        return true;
    }

    platform::Result<platform::CopiedTimes> replace(const std::string& target,
                                                    const std::string& content,
                                                    platform::ReplaceTerms terms = {}) {
        const std::string source = folder.file("source.txt");
        writeFileAt(source, content, kNew);
        if (!fs::exists(target)) {
            fs::create_directories(fs::path(target).parent_path());
            writeFileAt(target, "old", kOld);
        }
        return system->replaceWithCopy(source, target, terms);
    }
};

TEST_F(KeptCopyTest, TheHomeTrashListsTheReplacedCopyAndRestoresItToItsPlace) {
    const std::string target = folder.file("work/my notes.txt");
    const auto copied = replace(target, "new");

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(copied.value().kept.place, KeptCopy::Place::Trash);
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(readFile(trash + "/files/my notes.txt"), "old");
    const std::string info = readFile(trash + "/info/my notes.txt.trashinfo");
    EXPECT_TRUE(std::regex_search(
        info, std::regex("^\\[Trash Info\\]\nPath=" + folder.file("work/my%20notes.txt") +
                         "\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << info;
    if (std::system("command -v trash-list >/dev/null") != 0) {
        GTEST_SKIP() << "trash-cli is not installed";
    }
    EXPECT_NE(runIn(folder.path(), "trash-list").find(target), std::string::npos);
    fs::rename(target, target + ".new");
    runIn(folder.file("work"), "echo 0 | trash-restore");
    EXPECT_EQ(readFile(target), "old");
}

TEST_F(KeptCopyTest, OnlyTheNewestTenOfKelvanesOwnCopiesStay) {
    const std::string target = folder.file("work/notes.txt");
    fs::create_directories(trash + "/files");
    fs::create_directories(trash + "/info");
    writeFile(trash + "/files/notes.txt", "the user's own");
    writeFile(trash + "/info/notes.txt.trashinfo",
              "[Trash Info]\nPath=" + target + "\nDeletionDate=2020-01-01T00:00:00\n");

    for (int round = 1; round <= 12; ++round) {
        ASSERT_TRUE(replace(target, "version " + std::to_string(round)).ok());
    }

    EXPECT_EQ(readFile(trash + "/files/notes.txt"), "the user's own");
    std::set<std::string> kept;
    for (const auto& name : folder.entries("data/Trash/files")) {
        if (name != "notes.txt") {
            kept.insert(readFile(trash + "/files/" + name));
        }
    }
    EXPECT_EQ(kept.size(), 10u);
    EXPECT_EQ(kept.count("old"), 0u);
    EXPECT_EQ(kept.count("version 1"), 0u);
    EXPECT_EQ(kept.count("version 11"), 1u);
    EXPECT_EQ(folder.entries("data/Trash/info").size(), 11u);
}

TEST_F(KeptCopyTest, AnotherVolumeKeepsItInItsOwnTrashOrBesideTheFile) {
    if (!mountVolume("stick") || !mountVolume("share") || !mountVolume("full")) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
    }
    const std::string uid = std::to_string(::getuid());
    const auto own = replace(folder.file("stick/docs/notes.txt"), "new");
    ASSERT_TRUE(own.ok()) << own.reason();
    EXPECT_EQ(own.value().kept.place, KeptCopy::Place::Trash);
    EXPECT_EQ(readFile(folder.file("stick/.Trash-" + uid + "/files/notes.txt")), "old");
    EXPECT_NE(readFile(folder.file("stick/.Trash-" + uid + "/info/notes.txt.trashinfo"))
                  .find("\nPath=docs/notes.txt\n"),
              std::string::npos);

    fs::create_directory(folder.file("share/.Trash"));
    fs::permissions(folder.file("share/.Trash"), fs::perms::all | fs::perms::sticky_bit);
    ASSERT_TRUE(replace(folder.file("share/notes.txt"), "new").ok());
    EXPECT_EQ(readFile(folder.file("share/.Trash/" + uid + "/files/notes.txt")), "old");

    writeFile(folder.file("full/.Trash-" + uid), "not a folder");
    const auto beside = replace(folder.file("full/notes.txt"), "new");
    ASSERT_TRUE(beside.ok()) << beside.reason();
    EXPECT_EQ(beside.value().kept.place, KeptCopy::Place::Folder);
    EXPECT_EQ(beside.value().kept.folder, folder.file("full/.kelvane-replaced"));
    const auto names = folder.entries("full/.kelvane-replaced");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(names[0], std::regex(R"(notes \(replaced \d{4}-\d\d-\d\d \d{6}\)\.txt)")))
        << names[0];
}

TEST_F(KeptCopyTest, WhatCannotBeKeptIsNotReplaced) {
    if (!mountVolume("stick")) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
    }
    const std::string target = folder.file("stick/notes.txt");
    writeFileAt(target, "old", kOld);
    writeFile(folder.file("stick/.Trash-" + std::to_string(::getuid())), "not a folder");
    writeFile(folder.file("stick/.kelvane-replaced"), "not a folder");

    const auto refused = replace(target, "new");

    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.reason().find("Cannot keep the replaced copy"), std::string::npos);
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(folder.entries("stick").size(), 3u);

    const auto unkept = replace(target, "new", {std::nullopt, false});
    ASSERT_TRUE(unkept.ok()) << unkept.reason();
    EXPECT_EQ(unkept.value().kept.place, KeptCopy::Place::Nowhere);
    EXPECT_EQ(readFile(target), "new");
}

TEST_F(KeptCopyTest, AKeepKilledBeforeTheReplacementIsUndoneByTheNext) {
    const std::string target = folder.file("work/notes.txt");
    fs::create_directories(folder.file("work"));
    writeFileAt(target, "old", kOld);
    fs::create_directories(trash + "/files");
    fs::create_directories(trash + "/info");
    ASSERT_EQ(::link(target.c_str(), (trash + "/files/notes.txt").c_str()), 0);
    writeFile(trash + "/info/notes.txt.trashinfo",
              "[Trash Info]\nPath=" + target +
                  "\nDeletionDate=2026-01-01T00:00:00\nX-Kelvane-ReplacedCopy=true\n");

    const auto copied = replace(target, "new");

    ASSERT_TRUE(copied.ok()) << copied.reason();
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(folder.entries("data/Trash/files").size(), 1u);
    EXPECT_EQ(readFile(trash + "/files/" + folder.entries("data/Trash/files")[0]), "old");
}

TEST_F(KeptCopyTest, ATargetEditedDuringTheCopyIsLeftAsItIs) {
    const std::string target = folder.file("work/notes.txt");
    fs::create_directories(folder.file("work"));
    writeFileAt(target, "old", kOld);
    auto compared = system->findOrdinaryFile(target).value();
    writeFileAt(target, "the user's edit", kOld + 5);

    const auto refused = replace(target, "new", {compared, true});

    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.reason().rfind(std::string(platform::kTargetChangedMeanwhile), 0), 0u)
        << refused.reason();
    EXPECT_EQ(readFile(target), "the user's edit");
    EXPECT_EQ(folder.entries("work"), std::vector<std::string>{"notes.txt"});
    EXPECT_FALSE(fs::exists(trash + "/files/notes.txt"));
}

}  // namespace
}  // namespace kelvane::testing
