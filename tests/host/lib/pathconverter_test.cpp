#include "pathconverter.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

// Drive C with an ICQ installation and a drive D with music, and a folder beside them.
class PathConverterTest : public ::testing::Test {
protected:
    PathConverterTest() {
        for (const char* file :
             {"c/Program Files/ICQ/uin/123.uin", "c/Program Files/ICQ/Sounds/Message.wav",
              "c/WINNT/System32/config/SOFTWARE", "c/WINNT/Media/Ding.wav", "c/Temp/a", "c/TEMP/b",
              "c/temp/c", "d/Music/a.wav", "outside/secret"}) {
            writeFile(dir.file(file), "");
        }
    }
    std::string c(const std::string& relative = "") const {
        return relative.empty() ? dir.file("c") : dir.file("c/" + relative);
    }
    std::string convert(const std::string& windows) const {
        vqrt::PathConverter converter(dir.file("c"), {{'d', dir.file("d") + "/"}});
        std::string local = "stale";
        converter.convertPath(windows, local);
        return local;
    }

    TempDir dir;
};

TEST_F(PathConverterTest, MapsBelowTheDriveRootWithoutRegardToCase) {
    const struct {
        std::string windows;
        const char* local; // below drive C ("D:" prefix: below drive D); null: no local path
    } cases[] = {
        {"c:\\PROGRAM files\\icq\\UIN\\123.UIN", "/Program Files/ICQ/uin/123.uin"},
        {"C:/Program Files//ICQ/./uin\\\\", "/Program Files/ICQ/uin"},
        {"C:\\program files\\icq\\New\\sub\\X.wav", "/Program Files/ICQ/New/sub/X.wav"},
        {"C:\\Program Files\\ICQ\\uin\\..\\Sounds\\message.wav",
         "/Program Files/ICQ/Sounds/Message.wav"},
        // ".." never leaves the drive's root.
        {"C:\\..\\..\\..\\etc\\passwd", "/etc/passwd"},
        {"C:\\Program Files\\..\\..\\..\\Program Files\\ICQ", "/Program Files/ICQ"},
        {"D:\\..\\c\\Program Files", "D:/c/Program Files"},
        // The exact name wins; among other spellings, the first in byte order.
        {"C:\\Temp", "/Temp"},
        {"C:\\tEMP", "/TEMP"},
        {"C:\\", ""},
        {"C:Program Files", "/Program Files"},
        {"\\\\?\\C:\\Program Files\\ICQ", "/Program Files/ICQ"},
        {"d:\\MUSIC\\A.WAV", "D:/Music/a.wav"},
        {"%PROGRAMFILES%\\icq", "/Program Files/ICQ"},
        {"%SystemDrive%\\Program Files", "/Program Files"},
        {"%windir%\\media\\DING.WAV", "/WINNT/Media/Ding.wav"},
        {std::string("C:\\Program Files\0\\..\\..\\x", 25), "/Program Files"},
        {"", nullptr},
        {"\\\\server\\share\\ICQ\\uin", nullptr},
        {"//server/share/ICQ", nullptr},
        {"\\\\?\\UNC\\server\\share", nullptr},
        {"E:\\Music\\a.wav", nullptr},
        {"1:\\x", nullptr},
        {"ICQ\\uin\\123.uin", nullptr},
        {"\\Program Files\\ICQ", "/Program Files/ICQ"},
        {"\\uin", "/uin"},
        {"/etc/passwd", "/etc/passwd"},
        {"%APPDATA%\\ICQ", nullptr},
        {"%ProgramFiles\\ICQ", nullptr},
    };
    for (const auto& k : cases) {
        const std::string want(k.local == nullptr ? "" : k.local);
        EXPECT_EQ(convert(k.windows), k.local == nullptr         ? ""
                                      : want.rfind("D:", 0) == 0 ? dir.file("d") + want.substr(2)
                                                                 : c() + want)
            << k.windows;
    }
}

TEST_F(PathConverterTest, NeverLeavesTheDriveThroughALink) {
    const struct {
        const char* link;   // created below drive C
        const char* target; // "@" stands for the test folder
        const char* windows;
        const char* local; // below drive C; null: no local path
    } cases[] = {
        {"escape", "@/outside", "C:\\escape\\secret", nullptr},
        {"escape2", "@/outside", "C:\\ESCAPE2", nullptr},
        {"escape3", "@/outside", "C:\\escape3\\new\\x", nullptr},
        {"up", "../outside", "C:\\up\\secret", nullptr},
        {"sys", "/", "C:\\sys\\etc\\passwd", nullptr},
        {"gone", "@/nowhere", "C:\\gone\\x", nullptr},
        {"loop", "loop", "C:\\loop\\x", nullptr},
        {"inner", "Program Files/ICQ", "C:\\inner\\UIN", "/inner/uin"},
        {"abs", "@/c/Program Files", "C:\\abs\\icq\\new.wav", "/abs/ICQ/new.wav"},
    };
    for (const auto& k : cases) {
        const std::string target = k.target;
        fs::create_symlink(target[0] == '@' ? dir.path() + target.substr(1) : target, c(k.link));
        EXPECT_EQ(convert(k.windows), k.local ? c() + k.local : "") << k.windows;
    }
}

TEST_F(PathConverterTest, RootGivenThroughALinkStillWorks) {
    fs::create_symlink(c(), dir.file("mnt"));
    const vqrt::PathConverter viaLink(dir.file("mnt"));
    EXPECT_EQ(viaLink.convert("C:\\program files\\ICQ"), dir.file("mnt/Program Files/ICQ"));
    EXPECT_EQ(viaLink.convert("C:\\..\\outside\\secret"), dir.file("mnt/outside/secret"));
    // The drive map cannot replace the Windows root.
    const vqrt::PathConverter withC(c(), {{'C', dir.file("d")}, {'c', dir.file("d")}});
    EXPECT_EQ(withC.convert("C:\\Program Files"), c("Program Files"));
}

} // namespace
