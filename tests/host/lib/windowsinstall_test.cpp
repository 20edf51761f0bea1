#include "windowsinstall.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "pathconverter.h"
#include "support/sample.h"
#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;
using vqrt::UserProfile;
using vqrt::WindowsInstallation;

// Each Windows version as the sample builder lays it out, with the template profile Windows
// keeps for itself: the host finds the system folder, the machine hive and the two users.
TEST(WindowsInstallation, FindsEveryLayoutTheBuilderWrites) {
    const struct {
        const char* layout;
        const char* windows;
        const char* profiles;
    } layouts[] = {{"xp", "WINDOWS", "Documents and Settings"},
                   {"7", "Windows", "Users"},
                   {"nt", "WINNT", "Documents and Settings"}};
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.layout);
        TempDir dir;
        ASSERT_NO_FATAL_FAILURE(testsupport::buildSample(
            {{"layout", l.layout}, {"users", {"Märta", "bob"}}}, dir.path()));
        std::string error;
        const auto found = WindowsInstallation::locate(dir.path(), error);
        ASSERT_TRUE(found) << error;
        EXPECT_EQ(found->softwareHive(), dir.file(l.windows) + "/System32/config/SOFTWARE");
        EXPECT_EQ(found->userList(), "bob, Märta");
        EXPECT_EQ(found->users()[1].ntuserDat,
                  dir.file(std::string(l.profiles) + "/Märta/NTUSER.DAT"));
        EXPECT_EQ(vqrt::PathConverter(dir.path()).windowsFolder(), std::string("C:\\") + l.windows);
    }
}

// Copies of parts of a disk, and links that lead elsewhere: Vista's "Documents and Settings"
// junction, a profile and a System32 outside the volume.
TEST(WindowsInstallation, FindsWhatAPartialCopyHoldsWithoutFollowingLinks) {
    const struct {
        std::vector<std::string> files;
        std::vector<std::pair<const char*, const char*>> links; // "@": the folder outside
        const char* hive;
        const char* users;
        const char* windowsFolder;
    } cases[] = {
        {{"Windows/notepad.exe", "WINNT/System32/config/SOFTWARE"},
         {},
         "WINNT/System32/config/SOFTWARE",
         "",
         "C:\\WINNT"},
        {{"Users/Dana/NTUSER.DAT", "Documents and Settings/Eve/ntuser.dat", "Users/No/readme.txt"},
         {},
         "",
         "Dana, Eve",
         "C:\\Windows"},
        {{"Users/Frank/NTUSER.DAT", "@Mallory/NTUSER.DAT", "@System32/config/SOFTWARE",
          "windows/x"},
         {{"Documents and Settings", "Users"},
          {"Users/Mallory", "@Mallory"},
          {"windows/System32", "@System32"}},
         "",
         "Frank",
         "C:\\windows"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        TempDir outside;
        const auto place = [&](const std::string& p) {
            return p[0] == '@' ? outside.file(p.substr(1)) : dir.file(p);
        };
        for (const std::string& file : c.files) {
            writeFile(place(file), "x");
        }
        for (const auto& [link, target] : c.links) {
            ASSERT_EQ(symlink(place(target).c_str(), dir.file(link).c_str()), 0);
        }
        std::string error;
        const auto found = WindowsInstallation::locate(dir.path() + "/", error);
        ASSERT_TRUE(found) << error;
        EXPECT_EQ(found->softwareHive(), *c.hive ? dir.file(c.hive) : "");
        EXPECT_EQ(found->userList(), c.users);
        EXPECT_EQ(vqrt::PathConverter(dir.path()).windowsFolder(), c.windowsFolder);
    }
}

TEST(WindowsInstallation, ErrorsNameThePathAndWhatWasExpected) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    writeFile(dir.file("defaultonly/Users/Default/NTUSER.DAT"), "x");
    const struct {
        std::string root;
        std::string error;
    } cases[] = {
        {dir.file("missing"), ": no such directory"},
        {dir.file("file"), ": not a directory"},
        {dir.file("defaultonly"),
         ": no Windows installation found (expected Windows/System32/config/SOFTWARE or a user "
         "profile under Users or Documents and Settings)"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(WindowsInstallation::locate(c.root, error));
        EXPECT_EQ(error, c.root + c.error);
    }
}

TEST(WindowsInstallation, ChoosesTheOnlyUserOrTheOneNamed) {
    TempDir dir;
    for (const char* user : {"Alice", "Bob", "Default"}) {
        writeFile(dir.file(std::string("Users/") + user + "/NTUSER.DAT"), "x");
    }
    std::string error;
    const auto several = WindowsInstallation::locate(dir.path(), error);
    ASSERT_TRUE(several) << error;
    std::optional<UserProfile> chosen;
    EXPECT_FALSE(several->chooseUser("", chosen, error));
    EXPECT_EQ(error, dir.path() + ": several users (Alice, Bob); choose one with --user NAME");
    ASSERT_TRUE(several->chooseUser("default", chosen, error)) << error;
    EXPECT_EQ(chosen->ntuserDat, dir.file("Users/Default/NTUSER.DAT"));
    EXPECT_FALSE(several->chooseUser("carol", chosen, error));
    EXPECT_FALSE(chosen);
    EXPECT_EQ(error, dir.path() +
                         ": no user \"carol\" (expected a profile with NTUSER.DAT under Users or "
                         "Documents and Settings, found: Alice, Bob)");

    TempDir single;
    writeFile(single.file("Users/Zoe/NTUSER.DAT"), "x");
    const auto one = WindowsInstallation::locate(single.path(), error);
    ASSERT_TRUE(one && one->chooseUser("", chosen, error));
    EXPECT_EQ(chosen->name, "Zoe");
}

} // namespace
