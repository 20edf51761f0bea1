#include "localtree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using mkwin::LocalTree;
using mkwin::RelativePath;
using testsupport::readFile;
using testsupport::TempDir;

struct PathCase {
    const char* windowsPath;
    RelativePath components; // when it parses
    const char* problem;     // otherwise
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.windowsPath;
}

class DrivePaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(DrivePaths, SplitOrRefuse) {
    std::string problem;
    const auto parsed = mkwin::parseDrivePath(GetParam().windowsPath, problem);
    if (GetParam().problem == nullptr) {
        ASSERT_TRUE(parsed) << problem;
        EXPECT_EQ(*parsed, GetParam().components);
    } else {
        EXPECT_FALSE(parsed);
        EXPECT_EQ(problem, GetParam().problem);
    }
}

const char* const kNotAbsolute = R"(expected an absolute Windows path such as "C:\\Folder\\File")";
const char* const kLeaves = R"(the path leaves the root with "..")";

INSTANTIATE_TEST_SUITE_P(
    Cases, DrivePaths,
    ::testing::Values(PathCase{R"(C:\Program Files\ICQ\Sounds\New Message.wav)",
                               {"Program Files", "ICQ", "Sounds", "New Message.wav"},
                               nullptr},
                      PathCase{R"(c:/a//b\.\c\)", {"a", "b", "c"}, nullptr},
                      PathCase{R"(C:\)", {}, nullptr}, PathCase{R"(C:\a\..\b)", {}, kLeaves},
                      PathCase{R"(C:\..)", {}, kLeaves},
                      PathCase{R"(D:\Sounds\a.wav)", {}, "expected a path on drive C:"},
                      PathCase{"/etc/passwd", {}, kNotAbsolute},
                      PathCase{"C:relative.wav", {}, kNotAbsolute},
                      PathCase{R"(\\server\share\a.wav)", {}, kNotAbsolute}));

TEST(DrivePaths, RefuseNulCharacters) {
    std::string problem;
    EXPECT_FALSE(mkwin::parseDrivePath(std::string("C:\\a\0b", 6), problem));
    EXPECT_EQ(problem, "expected a path without NUL characters");
}

TEST(LocalTree, ReusesFoldersAndFilesOfAnyCase) {
    TempDir dir;
    const LocalTree tree(dir.path() + "/");
    std::string error;
    ASSERT_TRUE(tree.writeFile({"Program Files", "ICQ", "a.txt"}, "one", error)) << error;
    ASSERT_TRUE(tree.writeFile({"PROGRAM FILES", "icq", "A.TXT"}, "two", error)) << error;
    EXPECT_EQ(readFile(dir.file("Program Files/ICQ/a.txt")), "two");
    EXPECT_EQ(fs::directory_iterator(dir.path())->path().filename(), "Program Files");
    EXPECT_EQ(*tree.folder({"program files", "New"}, error), dir.file("Program Files/New"));
}

TEST(LocalTree, CreatesTheRootWithItsParents) {
    TempDir dir;
    const LocalTree tree(dir.file("a/b/c"));
    std::string error;
    ASSERT_TRUE(tree.createRoot(error)) << error;
    EXPECT_TRUE(fs::is_directory(dir.file("a/b/c")));
}

TEST(LocalTree, RefusesLinksNamesAndFilesInTheWay) {
    TempDir dir;
    fs::create_directories(dir.file("root"));
    fs::create_directories(dir.file("outside"));
    testsupport::writeFile(dir.file("outside/target.txt"), "keep");
    ASSERT_EQ(symlink(dir.file("outside/target.txt").c_str(), dir.file("root/link.txt").c_str()),
              0);
    testsupport::writeFile(dir.file("root/file"), "");
    const LocalTree tree(dir.file("root"));
    std::string error;

    EXPECT_FALSE(tree.writeFile({"link.txt"}, "changed", error));
    EXPECT_EQ(error, dir.file("root/link.txt") +
                         ": refusing to write through a symbolic link below the root");
    EXPECT_EQ(readFile(dir.file("outside/target.txt")), "keep");

    EXPECT_FALSE(tree.writeFile({"file", "x"}, "", error));
    EXPECT_EQ(error,
              dir.file("root/file") + ": cannot create the folder (a file of that name exists)");

    EXPECT_FALSE(tree.writeFile({"..", "x"}, "", error));
    EXPECT_EQ(error, dir.file("root") + ": refusing the name \"..\" (it is no plain name)");
    EXPECT_FALSE(fs::exists(dir.file("x")));
}

} // namespace
