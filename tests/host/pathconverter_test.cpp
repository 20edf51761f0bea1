#include "pathconverter.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

// A drive C with an ICQ installation and a drive D with music, built fresh for each case.
class PathConverterTest : public ::testing::Test {
protected:
    PathConverterTest() {
        writeFile(dir.file("c/Program Files/ICQ/uin/123.uin"), "");
        writeFile(dir.file("c/Program Files/ICQ/Sounds/Message.wav"), "");
        writeFile(dir.file("c/WINNT/System32/config/SOFTWARE"), "");
        writeFile(dir.file("c/WINNT/Media/Ding.wav"), "");
        writeFile(dir.file("d/Music/a.wav"), "");
        writeFile(dir.file("outside/secret"), "");
    }
    std::string c(const std::string& relative = "") const {
        return relative.empty() ? dir.file("c") : dir.file("c/" + relative);
    }
    vqrt::PathConverter converter() const {
        return vqrt::PathConverter(dir.file("c"), {{'d', dir.file("d") + "/"}});
    }

    TempDir dir;
};

struct Case {
    const char* name;
    std::string windows;
    const char* local; // below drive C ("D:" prefix: below drive D); null: no local path
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class PathConverterCases : public PathConverterTest, public ::testing::WithParamInterface<Case> {};

TEST_P(PathConverterCases, MapsBelowTheDriveRoot) {
    const Case& param = GetParam();
    std::string local = "stale";
    converter().convertPath(param.windows, local);
    if (param.local == nullptr) {
        EXPECT_EQ(local, "");
        return;
    }
    const std::string want(param.local);
    if (want.compare(0, 2, "D:") == 0) {
        EXPECT_EQ(local, dir.file("d") + want.substr(2));
    } else {
        EXPECT_EQ(local, c() + want);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathConverterCases,
    ::testing::Values(
        Case{"Exact", "C:\\Program Files\\ICQ\\uin", "/Program Files/ICQ/uin"},
        Case{"AnyCase", "c:\\PROGRAM files\\icq\\UIN\\123.UIN", "/Program Files/ICQ/uin/123.uin"},
        Case{"TrailingSeparators", "C:\\Program Files\\ICQ\\uin\\\\", "/Program Files/ICQ/uin"},
        Case{"SlashesRepeatsAndDots", "C:/Program Files//ICQ/./uin/", "/Program Files/ICQ/uin"},
        Case{"MissingFileKeptAsGiven", "C:\\program files\\icq\\Sounds\\NoSuch.WAV",
             "/Program Files/ICQ/Sounds/NoSuch.WAV"},
        Case{"MissingTailKeptAsGiven", "C:\\Program Files\\ICQ\\New\\sub\\X.wav",
             "/Program Files/ICQ/New/sub/X.wav"},
        Case{"DotDotInside", "C:\\Program Files\\ICQ\\uin\\..\\Sounds\\message.wav",
             "/Program Files/ICQ/Sounds/Message.wav"},
        Case{"DotDotClampedAtRoot", "C:\\..\\..\\..\\etc\\passwd", "/etc/passwd"},
        Case{"DotDotClampedMidway", "C:\\Program Files\\..\\..\\..\\Program Files\\ICQ",
             "/Program Files/ICQ"},
        Case{"DriveRoot", "C:\\", ""}, Case{"BareDrive", "C:", ""},
        Case{"DriveRelative", "C:Program Files", "/Program Files"},
        Case{"LongPathPrefix", "\\\\?\\C:\\Program Files\\ICQ", "/Program Files/ICQ"},
        Case{"OtherDrive", "D:\\Music\\a.wav", "D:/Music/a.wav"},
        Case{"OtherDriveLowerCase", "d:\\MUSIC\\A.WAV", "D:/Music/a.wav"},
        Case{"OtherDriveClamped", "D:\\..\\c\\Program Files", "D:/c/Program Files"},
        Case{"ProgramFiles", "%ProgramFiles%\\ICQ\\uin", "/Program Files/ICQ/uin"},
        Case{"ProgramFilesAnyCase", "%PROGRAMFILES%\\icq", "/Program Files/ICQ"},
        Case{"SystemDrive", "%SystemDrive%\\Program Files", "/Program Files"},
        Case{"SystemRoot", "%SystemRoot%\\Media\\ding.wav", "/WINNT/Media/Ding.wav"},
        Case{"Windir", "%windir%\\media\\DING.WAV", "/WINNT/Media/Ding.wav"},
        Case{"NulEndsThePath", std::string("C:\\Program Files\0\\..\\..\\x", 25), "/Program Files"},
        Case{"Empty", "", nullptr}, Case{"Unc", "\\\\server\\share\\ICQ\\uin", nullptr},
        Case{"UncForwardSlashes", "//server/share/ICQ", nullptr},
        Case{"UncLongPrefix", "\\\\?\\UNC\\server\\share", nullptr},
        Case{"UnknownDrive", "E:\\Music\\a.wav", nullptr}, Case{"NotALetter", "1:\\x", nullptr},
        Case{"Relative", "ICQ\\uin\\123.uin", nullptr},
        Case{"RootedWithoutDrive", "\\Program Files\\ICQ", nullptr},
        Case{"LocalAbsolute", "/etc/passwd", nullptr},
        Case{"UnknownVariable", "%APPDATA%\\ICQ", nullptr},
        Case{"UnclosedVariable", "%ProgramFiles\\ICQ", nullptr}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

struct LinkCase {
    const char* name;
    const char* link;   // created below drive C
    const char* target; // "@" stands for the test folder
    std::string windows;
    const char* local; // below drive C; null: no local path
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << c.name;
}

class PathConverterLinks : public PathConverterTest,
                           public ::testing::WithParamInterface<LinkCase> {};

TEST_P(PathConverterLinks, NeverLeavesTheDrive) {
    const LinkCase& param = GetParam();
    std::string target = param.target;
    if (target[0] == '@') {
        target = dir.path() + target.substr(1);
    }
    fs::create_symlink(target, c(param.link));
    const std::string local = converter().convert(param.windows);
    EXPECT_EQ(local, param.local ? c() + param.local : std::string());
}

INSTANTIATE_TEST_SUITE_P(
    Links, PathConverterLinks,
    ::testing::Values(
        LinkCase{"AbsoluteOutside", "escape", "@/outside", "C:\\escape\\secret", nullptr},
        LinkCase{"AbsoluteOutsideItself", "escape", "@/outside", "C:\\ESCAPE", nullptr},
        LinkCase{"AbsoluteOutsideMissingTail", "escape", "@/outside", "C:\\escape\\new\\x",
                 nullptr},
        LinkCase{"RelativeOutside", "up", "../outside", "C:\\up\\secret", nullptr},
        LinkCase{"ToTheSystemRoot", "sys", "/", "C:\\sys\\etc\\passwd", nullptr},
        LinkCase{"Dangling", "gone", "@/nowhere", "C:\\gone\\x", nullptr},
        LinkCase{"Loop", "loop", "loop", "C:\\loop\\x", nullptr},
        LinkCase{"RelativeInside", "inner", "Program Files/ICQ", "C:\\inner\\UIN", "/inner/uin"},
        LinkCase{"AbsoluteInside", "abs", "@/c/Program Files", "C:\\abs\\icq\\new.wav",
                 "/abs/ICQ/new.wav"}),
    [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

TEST_F(PathConverterTest, RootGivenThroughALinkStillWorks) {
    fs::create_symlink(c(), dir.file("mnt"));
    const vqrt::PathConverter viaLink(dir.file("mnt"));
    EXPECT_EQ(viaLink.convert("C:\\program files\\ICQ"), dir.file("mnt/Program Files/ICQ"));
    EXPECT_EQ(viaLink.convert("C:\\..\\outside\\secret"), dir.file("mnt/outside/secret"));
}

TEST_F(PathConverterTest, DriveMapCannotReplaceTheWindowsRoot) {
    const vqrt::PathConverter withC(c(), {{'C', dir.file("d")}, {'c', dir.file("d")}});
    EXPECT_EQ(withC.convert("C:\\Program Files"), c("Program Files"));
}

struct FolderCase {
    const char* name;
    std::vector<const char*> dirs; // created below the root
    const char* folder;
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
}

class WindowsFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(WindowsFolder, IsFoundOnDriveC) {
    TempDir dir;
    for (const char* d : GetParam().dirs) {
        fs::create_directories(dir.file(d));
    }
    const vqrt::PathConverter converter(dir.path());
    EXPECT_EQ(converter.windowsFolder(), GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, WindowsFolder,
    ::testing::Values(FolderCase{"Xp", {"WINDOWS/system32/config"}, "C:\\WINDOWS"},
                      FolderCase{"Nt", {"WINNT/System32/Config"}, "C:\\WINNT"},
                      FolderCase{
                          "RegistryDecides", {"Windows", "WINNT/system32/config"}, "C:\\WINNT"},
                      FolderCase{"BareFolder", {"windows"}, "C:\\windows"},
                      FolderCase{"None", {}, "C:\\Windows"}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

} // namespace
