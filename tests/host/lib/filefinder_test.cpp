#include "filefinder.h"

#include <sys/stat.h>

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

// An owner folder with every kind of entry that a mounted disk can hold, links to a file on
// another drive and to one that lies outside both.
class FileFinderTest : public ::testing::Test {
protected:
    FileFinderTest() {
        for (const char* file : {"123.uin", "ABC.UIN", "note.txt", "old.uin.bak", "sub/456.uin",
                                 "sub/deeper/789.Uin", "dir.uin/inside.uin"}) {
            writeFile(dir.file(std::string("uin/") + file), "");
        }
        writeFile(elsewhere.file("secret.uin"), "[ICQ User]\nNickName=Stolen\nUIN=1\n");
        writeFile(elsewhere.file("drive/d.uin"), "");
        for (const auto& [target, link] : {std::pair{"123.uin", "link.uin"},
                                           {"nowhere", "dangling.uin"},
                                           {"loop.uin", "loop.uin"},
                                           {"sub", "linkdir.uin"},
                                           {"..", "sub/up"}}) {
            fs::create_symlink(target, dir.file(std::string("uin/") + link));
        }
        fs::create_symlink(elsewhere.file("drive/d.uin"), dir.file("uin/ondrive.uin"));
        fs::create_symlink(elsewhere.file("secret.uin"), dir.file("uin/outside.uin"));
        mkfifo(dir.file("uin/pipe.uin").c_str(), 0600);
        finder.confineTo({dir.path(), elsewhere.file("drive")});
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
    testsupport::TempDir elsewhere;
    vqrt::DirectoryFinder finder;
};

TEST_F(FileFinderTest, ListsMatchingEntriesInByteOrderWithoutRegardToCase) {
    Listing top = {{"123.uin", true},   {"ABC.UIN", true},     {"dangling.uin", false},
                   {"dir.uin", false},  {"link.uin", true},    {"linkdir.uin", false},
                   {"loop.uin", false}, {"ondrive.uin", true}, {"outside.uin", false},
                   {"pipe.uin", false}};
    EXPECT_EQ(search(dir.file("uin/"), ".UIN", false), top);
    EXPECT_EQ(search(dir.file("uin"), "", false).size(), top.size() + 3);
    // Recursion descends into folders, never through links.
    top.insert(top.begin() + 4, {"dir.uin/inside.uin", true});
    top.emplace_back("sub/456.uin", true);
    top.emplace_back("sub/deeper/789.Uin", true);
    EXPECT_EQ(search(dir.file("uin"), ".uin", true), top);
    for (const std::string& nothing : {dir.file("missing"), dir.file("uin/123.uin")}) {
        EXPECT_TRUE(search(nothing, ".uin", true).empty()) << nothing;
    }
}

} // namespace
