#include "filefinder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

using Listing = std::vector<std::pair<std::string, bool>>; // path below uin/, isFile

// An owner folder with every kind of entry that a mounted disk can hold.
class FileFinderTest : public ::testing::Test {
protected:
    FileFinderTest() {
        for (const char* file : {"123.uin", "ABC.UIN", ".uin", "note.txt", "old.uin.bak",
                                 "sub/456.uin", "sub/deeper/789.Uin", "dir.uin/inside.uin"}) {
            writeFile(dir.file(std::string("uin/") + file), "");
        }
        fs::create_symlink("123.uin", dir.file("uin/link.uin"));
        fs::create_symlink("nowhere", dir.file("uin/dangling.uin"));
        fs::create_symlink("loop.uin", dir.file("uin/loop.uin"));
        fs::create_symlink("sub", dir.file("uin/linkdir.uin"));
        fs::create_symlink("..", dir.file("uin/sub/up"));
        fs::create_symlink(dir.path(), dir.file("uin/sub/deeper/top"));
        mkfifo(dir.file("uin/pipe.uin").c_str(), 0600);
    }

    Listing search(const std::string& directory, const std::string& extension, bool recursive) {
        finder.setDirectory(directory);
        finder.setExtension(extension);
        std::vector<VQ::CVantryNode*> nodes(3, nullptr);
        EXPECT_EQ(&finder.search(nodes, recursive), &nodes);
        Listing out;
        for (const VQ::CVantryNode* node : nodes) {
            out.emplace_back(fs::path(node->getPath()).lexically_relative(dir.file("uin")),
                             node->isFile());
        }
        return out;
    }

    TempDir dir;
    vqrt::DirectoryFinder finder;
};

const Listing kTopLevel = {
    {".uin", true},          {"123.uin", true},   {"ABC.UIN", true},
    {"dangling.uin", false}, {"dir.uin", false},  {"link.uin", true},
    {"linkdir.uin", false},  {"loop.uin", false}, {"pipe.uin", false},
};

TEST_F(FileFinderTest, ListsMatchingEntriesInByteOrderWithoutRegardToCase) {
    EXPECT_EQ(search(dir.file("uin"), ".uin", false), kTopLevel);
    EXPECT_EQ(search(dir.file("uin/"), ".UIN", false), kTopLevel);
    EXPECT_EQ(search(dir.file("uin"), ".bak", false), (Listing{{"old.uin.bak", true}}));
    EXPECT_EQ(search(dir.file("uin"), "", false).size(), kTopLevel.size() + 3);
    // Recursion descends into folders, never through links.
    Listing deep = kTopLevel;
    deep.insert(deep.begin() + 5, {"dir.uin/inside.uin", true});
    deep.emplace_back("sub/456.uin", true);
    deep.emplace_back("sub/deeper/789.Uin", true);
    EXPECT_EQ(search(dir.file("uin"), ".uin", true), deep);
}

TEST_F(FileFinderTest, NothingToListGivesAnEmptyList) {
    for (const std::string& directory :
         {std::string(), dir.file("missing"), dir.file("uin/123.uin"), dir.file("uin/loop.uin")}) {
        EXPECT_TRUE(search(directory, ".uin", false).empty()) << directory;
        EXPECT_TRUE(search(directory, ".uin", true).empty()) << directory;
    }
    // Folders that cannot be read, as a user for whom permission bits count.
    chmod(dir.path().c_str(), 0755);
    const auto found = [this](bool recursive) {
        return testsupport::asUnprivilegedUser(
            [&] { return std::to_string(search(dir.file("uin"), ".uin", recursive).size()); });
    };
    chmod(dir.file("uin").c_str(), 0);
    EXPECT_EQ(found(false), "0");
    chmod(dir.file("uin").c_str(), 0755);
    chmod(dir.file("uin/sub").c_str(), 0);
    EXPECT_EQ(found(true), std::to_string(kTopLevel.size() + 1));
}

TEST_F(FileFinderTest, ConfinedFinderCountsNoFileBehindALinkLeavingTheRoots) {
    TempDir elsewhere;
    writeFile(elsewhere.file("secret.uin"), "[ICQ User]\nNickName=Stolen\nUIN=1\n");
    fs::create_symlink(elsewhere.file("secret.uin"), dir.file("uin/outside.uin"));
    writeFile(elsewhere.file("drive/d.uin"), "");
    fs::create_symlink(elsewhere.file("drive/d.uin"), dir.file("uin/ondrive.uin"));
    Listing expected = kTopLevel;
    expected.emplace_back("ondrive.uin", true);
    expected.emplace_back("outside.uin", true);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(search(dir.file("uin"), ".uin", false), expected);

    finder.confineTo({dir.path(), elsewhere.file("drive")});
    std::find(expected.begin(), expected.end(), Listing::value_type{"outside.uin", true})->second =
        false;
    EXPECT_EQ(search(dir.file("uin"), ".uin", false), expected);
}

TEST_F(FileFinderTest, FileOverTheSizeLimitIsNoFileAndReportedOnce) {
    writeFile(dir.file("big/at.uin"), std::string(1000, 'a'));
    writeFile(dir.file("big/over.uin"), std::string(1001, 'o'));
    fs::create_symlink("over.uin", dir.file("big/link.uin"));
    std::vector<std::string> warnings;
    finder.limitFileSize(1000, [&](const std::string& line) { warnings.push_back(line); });
    const Listing expected = {
        {"../big/at.uin", true}, {"../big/link.uin", false}, {"../big/over.uin", false}};
    EXPECT_EQ(search(dir.file("big"), ".uin", false), expected);
    EXPECT_EQ(search(dir.file("big"), ".uin", false), expected);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            dir.file("big/link.uin") + ": left out (larger than 1000 bytes)",
                            dir.file("big/over.uin") + ": left out (larger than 1000 bytes)"}));
}

} // namespace
