#include "filefinder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

using Listing = std::vector<std::pair<std::string, bool>>; // path below the folder, isFile

// An owner folder with every kind of entry that a mounted disk can hold.
class FileFinderTest : public ::testing::Test {
protected:
    FileFinderTest() {
        writeFile(dir.file("uin/123.uin"), "[ICQ User]\n");
        writeFile(dir.file("uin/ABC.UIN"), "");
        writeFile(dir.file("uin/.uin"), "");
        writeFile(dir.file("uin/note.txt"), "");
        writeFile(dir.file("uin/old.uin.bak"), "");
        writeFile(dir.file("uin/sub/456.uin"), "");
        writeFile(dir.file("uin/sub/deeper/789.Uin"), "");
        writeFile(dir.file("uin/dir.uin/inside.uin"), "");
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
        std::vector<VQ::CVantryNode*> nodes;
        std::vector<VQ::CVantryNode*>& answer = finder.search(nodes, recursive);
        EXPECT_EQ(&answer, &nodes);
        Listing out;
        const std::string prefix = dir.file("uin/");
        for (const VQ::CVantryNode* node : nodes) {
            std::string path = node->getPath();
            if (path.compare(0, prefix.size(), prefix) == 0) {
                path.erase(0, prefix.size());
            }
            out.emplace_back(path, node->isFile());
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

TEST_F(FileFinderTest, ListsMatchingEntriesInByteOrder) {
    EXPECT_EQ(search(dir.file("uin"), ".uin", false), kTopLevel);
    EXPECT_EQ(search(dir.file("uin/"), ".UIN", false), kTopLevel);
}

TEST_F(FileFinderTest, RecursiveDescendsWithoutFollowingLinks) {
    Listing want = kTopLevel;
    want.insert(want.begin() + 5, {"dir.uin/inside.uin", true});
    want.emplace_back("sub/456.uin", true);
    want.emplace_back("sub/deeper/789.Uin", true);
    EXPECT_EQ(search(dir.file("uin"), ".uin", true), want);
}

TEST_F(FileFinderTest, OtherExtensionsAndEmptyExtension) {
    EXPECT_EQ(search(dir.file("uin"), ".txt", false), (Listing{{"note.txt", true}}));
    EXPECT_EQ(search(dir.file("uin"), ".bak", false), (Listing{{"old.uin.bak", true}}));
    EXPECT_EQ(search(dir.file("uin"), "", false).size(), kTopLevel.size() + 3);
}

TEST_F(FileFinderTest, NothingToListGivesAnEmptyList) {
    for (const std::string& directory :
         {std::string(), dir.file("missing"), dir.file("uin/123.uin"), dir.file("uin/loop.uin")}) {
        EXPECT_TRUE(search(directory, ".uin", false).empty()) << directory;
        EXPECT_TRUE(search(directory, ".uin", true).empty()) << directory;
    }
}

TEST_F(FileFinderTest, UnreadableFolderGivesAnEmptyList) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder";
    }
    chmod(dir.file("uin").c_str(), 0);
    EXPECT_TRUE(search(dir.file("uin"), ".uin", false).empty());
    chmod(dir.file("uin").c_str(), 0755);
    chmod(dir.file("uin/sub").c_str(), 0);
    EXPECT_EQ(search(dir.file("uin"), ".uin", true).size(), kTopLevel.size() + 1);
}

TEST_F(FileFinderTest, EachSearchReplacesTheList) {
    std::vector<VQ::CVantryNode*> nodes(3, nullptr);
    finder.setDirectory(dir.file("uin/sub"));
    finder.setExtension(".uin");
    ASSERT_EQ(finder.search(nodes, false).size(), 1u);
    EXPECT_EQ(nodes[0]->getPath(), dir.file("uin/sub/456.uin"));
    finder.setDirectory(dir.file("missing"));
    EXPECT_TRUE(finder.search(nodes, false).empty());
}

TEST_F(FileFinderTest, ConfinedFinderCountsNoFileBehindALinkLeavingTheRoots) {
    TempDir elsewhere;
    writeFile(elsewhere.file("secret.uin"), "[ICQ User]\nNickName=Stolen\nUIN=1\n");
    fs::create_symlink(elsewhere.file("secret.uin"), dir.file("uin/outside.uin"));
    writeFile(elsewhere.file("drive/d.uin"), "");
    fs::create_symlink(elsewhere.file("drive/d.uin"), dir.file("uin/ondrive.uin"));

    const Listing open = search(dir.file("uin"), ".uin", false);
    EXPECT_NE(std::find(open.begin(), open.end(), std::make_pair(std::string("outside.uin"), true)),
              open.end());

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
    const Listing expected = {{dir.file("big/at.uin"), true},
                              {dir.file("big/link.uin"), false},
                              {dir.file("big/over.uin"), false}};
    EXPECT_EQ(search(dir.file("big"), ".uin", false), expected);
    EXPECT_EQ(search(dir.file("big"), ".uin", false), expected);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            dir.file("big/link.uin") + ": left out (larger than 1000 bytes)",
                            dir.file("big/over.uin") + ": left out (larger than 1000 bytes)"}));
}

} // namespace
