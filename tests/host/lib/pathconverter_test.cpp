#include "pathconverter.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

// Drive C with an ICQ installation and a drive D with music, and a folder beside them.
class PathConverterTest : public ::testing::Test {
protected:
    PathConverterTest() {
        for (const char* file :
             {"c/Program Files/ICQ/uin/123.uin", "c/WINNT/Media/Ding.wav", "c/Temp/a", "c/TEMP/b",
              "c/temp/c", "c/Program Files/ICQ/Sounds/New Message.wav", "c/My Documents/a",
              "c/My Documents (old)/b", "d/Music/a.wav", "outside/secret"}) {
            writeFile(dir.file(file), "");
        }
    }
    // The local path of `windows`, "C:" or "D:" standing for the drive's folder.
    std::string convert(const std::string& windows) const {
        vqrt::PathConverter converter(dir.file("c"), {{'d', dir.file("d") + "/"}});
        std::string local = "stale";
        converter.convertPath(windows, local);
        for (const char drive : {'c', 'd'}) {
            const std::string root = dir.file(std::string(1, drive));
            if (local.rfind(root, 0) == 0) {
                return std::string(1, char(drive - 32)) + ":" + local.substr(root.size());
            }
        }
        return local;
    }

    testsupport::TempDir dir;
};

TEST_F(PathConverterTest, MapsBelowTheDriveRootWithoutRegardToCase) {
    const struct {
        std::string windows;
        const char* local;
    } cases[] = {
        {"c:\\PROGRAM files\\icq\\UIN\\123.UIN", "C:/Program Files/ICQ/uin/123.uin"},
        {"C:/Program Files//ICQ/./uin\\\\", "C:/Program Files/ICQ/uin"},
        {"C:\\program files\\icq\\New\\sub\\..\\X.wav", "C:/Program Files/ICQ/New/X.wav"},
        // ".." never leaves the drive's root.
        {"C:\\..\\..\\..\\etc\\passwd", "C:/etc/passwd"},
        // The exact name wins; among other spellings, the first in byte order.
        {"C:\\Temp", "C:/Temp"},
        {"C:\\tEMP", "C:/TEMP"},
        {"C:Program Files", "C:/Program Files"},
        {"\\\\?\\C:\\Program Files\\ICQ", "C:/Program Files/ICQ"},
        {"d:\\MUSIC\\A.WAV", "D:/Music/a.wav"},
        {"%PROGRAMFILES%\\icq", "C:/Program Files/ICQ"},
        {"%windir%\\media\\DING.WAV", "C:/WINNT/Media/Ding.wav"},
        {std::string("C:\\Program Files\0\\..\\..\\x", 25), "C:/Program Files"},
        {"\\\\server\\share\\ICQ\\uin", ""},
        {"E:\\Music\\a.wav", ""},
        {"ICQ\\uin\\123.uin", ""},
        {"\\Program Files\\ICQ", "C:/Program Files/ICQ"}, // a rooted path is on C:
        // Short names of long ones, as old registries keep them: taken where one name fits.
        {"C:\\PROGRA~1\\ICQ\\SOUNDS\\NEWMES~1.WAV", "C:/Program Files/ICQ/Sounds/New Message.wav"},
        {"c:\\progra~2\\icq\\sounds\\newmes~1.mp3", "C:/Program Files/ICQ/Sounds/newmes~1.mp3"},
        {"C:\\MYDOCU~1\\a", "C:/MYDOCU~1/a"},
        {"C:\\WINNT~1\\Media", "C:/WINNT~1/Media"}, // a short name itself has no other
    };
    for (const auto& k : cases) {
        EXPECT_EQ(convert(k.windows), k.local) << k.windows;
    }
}

TEST_F(PathConverterTest, NeverLeavesTheDriveThroughALink) {
    const struct {
        const char* link;   // created below drive C
        const char* target; // "@" stands for the test folder
        const char* windows;
        const char* local;
    } cases[] = {
        {"escape", "@/outside", "C:\\escape\\secret", ""},
        {"up", "../outside", "C:\\up\\secret", ""},
        {"loop", "loop", "C:\\loop\\x", ""},
        {"inner", "Program Files/ICQ", "C:\\inner\\UIN", "C:/inner/uin"},
        {"abs", "@/c/Program Files", "C:\\abs\\icq\\new.wav", "C:/abs/ICQ/new.wav"},
    };
    for (const auto& k : cases) {
        const std::string target = k.target;
        fs::create_symlink(target[0] == '@' ? dir.path() + target.substr(1) : target,
                           dir.file(std::string("c/") + k.link));
        EXPECT_EQ(convert(k.windows), k.local) << k.windows;
    }
}

TEST_F(PathConverterTest, RootGivenThroughALinkStillWorks) {
    fs::create_symlink(dir.file("c"), dir.file("mnt"));
    const vqrt::PathConverter viaLink(dir.file("mnt"), {{'C', dir.file("d")}});
    EXPECT_EQ(viaLink.convert("C:\\program files\\ICQ"), dir.file("mnt/Program Files/ICQ"));
    EXPECT_EQ(viaLink.convert("C:\\..\\outside\\secret"), dir.file("mnt/outside/secret"));
}

} // namespace
