#include "filefinder.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

using Listing = std::vector<std::pair<std::string, bool>>; // path below uin/, isFile

// An owner folder with every kind of entry that a mounted disk can hold.
class FileFinderTest : public ::testing::Test {
protected:
    FileFinderTest() {
        for (const char* file : {"123.uin", "ABC.UIN", "note.txt", "old.uin.bak", "sub/456.uin",
                                 "sub/deeper/789.Uin", "dir.uin/inside.uin"}) {
            writeFile(dir.file(std::string("uin/") + file), "");
        }
        fs::create_symlink("123.uin", dir.file("uin/link.uin"));
        fs::create_symlink("nowhere", dir.file("uin/dangling.uin"));
        fs::create_symlink("loop.uin", dir.file("uin/loop.uin"));
        fs::create_symlink("sub", dir.file("uin/linkdir.uin"));
        fs::create_symlink("..", dir.file("uin/sub/up"));
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

    testsupport::TempDir dir;
    vqrt::DirectoryFinder finder;
};

const Listing kTopLevel = {
    {"123.uin", true},  {"ABC.UIN", true},      {"dangling.uin", false}, {"dir.uin", false},
    {"link.uin", true}, {"linkdir.uin", false}, {"loop.uin", false},     {"pipe.uin", false},
};

TEST_F(FileFinderTest, ListsMatchingEntriesInByteOrderWithoutRegardToCase) {
    EXPECT_EQ(search(dir.file("uin/"), ".UIN", false), kTopLevel);
    EXPECT_EQ(search(dir.file("uin"), "", false).size(), kTopLevel.size() + 3);
    // Recursion descends into folders, never through links.
    Listing deep = kTopLevel;
    deep.insert(deep.begin() + 4, {"dir.uin/inside.uin", true});
    deep.emplace_back("sub/456.uin", true);
    deep.emplace_back("sub/deeper/789.Uin", true);
    EXPECT_EQ(search(dir.file("uin"), ".uin", true), deep);
    for (const std::string& nothing : {dir.file("missing"), dir.file("uin/123.uin")}) {
        EXPECT_TRUE(search(nothing, ".uin", true).empty()) << nothing;
    }
}

TEST_F(FileFinderTest, ConfinedFinderCountsNoFileBehindALinkLeavingTheRoots) {
    testsupport::TempDir elsewhere;
    writeFile(elsewhere.file("secret.uin"), "[ICQ User]\nNickName=Stolen\nUIN=1\n");
    fs::create_symlink(elsewhere.file("secret.uin"), dir.file("uin/outside.uin"));
    writeFile(elsewhere.file("drive/d.uin"), "");
    fs::create_symlink(elsewhere.file("drive/d.uin"), dir.file("uin/ondrive.uin"));
    finder.confineTo({dir.path(), elsewhere.file("drive")});
    Listing expected = kTopLevel;
    expected.emplace_back("ondrive.uin", true);
    expected.emplace_back("outside.uin", false);
    std::sort(expected.begin(), expected.end());
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
