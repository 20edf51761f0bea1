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

// Copies of parts of a disk, and links that lead elsewhere ("link -> target", "@" the folder
// outside): Vista's "Documents and Settings" junction, a profile and a System32 outside.
TEST(WindowsInstallation, FindsWhatAPartialCopyHoldsWithoutFollowingLinks) {
    const struct {
        std::vector<std::string> entries;
        const char* hive;
        const char* users;
    } cases[] = {
        {{"Windows/notepad.exe", "WINNT/System32/config/SOFTWARE"},
         "WINNT/System32/config/SOFTWARE",
         ""},
        {{"Users/Dana/NTUSER.DAT", "Documents and Settings/Eve/ntuser.dat", "Users/No/readme.txt"},
         "",
         "Dana, Eve"},
        {{"Users/Frank/NTUSER.DAT", "@Mallory/NTUSER.DAT", "@System32/config/SOFTWARE", "Windows/x",
          "Documents and Settings -> Users", "Users/Mallory -> @Mallory",
          "Windows/System32 -> @System32"},
         "",
         "Frank"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        TempDir outside;
        const auto place = [&](const std::string& p) {
            return p[0] == '@' ? outside.file(p.substr(1)) : dir.file(p);
        };
        for (const std::string& entry : c.entries) {
            const size_t arrow = entry.find(" -> ");
            if (arrow == std::string::npos) {
                writeFile(place(entry), "x");
            } else {
                ASSERT_EQ(symlink(place(entry.substr(arrow + 4)).c_str(),
                                  place(entry.substr(0, arrow)).c_str()),
                          0);
            }
        }
        std::string error;
        const auto found = WindowsInstallation::locate(dir.path() + "/", error);
        ASSERT_TRUE(found) << error;
        EXPECT_EQ(found->softwareHive(), *c.hive ? dir.file(c.hive) : "");
        EXPECT_EQ(found->userList(), c.users);
    }
}

// The messages for several users and for a user not found are checked where tolvane-import
// prints them.
TEST(WindowsInstallation, ChoosesTheOnlyUserOrTheOneNamed) {
    TempDir dir;
    for (const char* user :
         {"Users/Alice", "Users/Default", "Zoe/Users/Zoe", "Def/Users/Default"}) {
        writeFile(dir.file(std::string(user) + "/NTUSER.DAT"), "x");
    }
    std::string error;
    std::optional<UserProfile> chosen;
    const auto several = WindowsInstallation::locate(dir.path(), error);
    ASSERT_TRUE(several && several->chooseUser("DEFAULT", chosen, error)) << error;
    EXPECT_EQ(chosen->ntuserDat, dir.file("Users/Default/NTUSER.DAT"));
    const auto one = WindowsInstallation::locate(dir.file("Zoe"), error);
    ASSERT_TRUE(one && one->chooseUser("", chosen, error)) << error;
    EXPECT_EQ(chosen->name, "Zoe");
    // The profile Windows keeps for itself alone is no installation.
    EXPECT_FALSE(WindowsInstallation::locate(dir.file("Def"), error));
    EXPECT_EQ(error, dir.file("Def") +
                         ": no Windows installation found (expected "
                         "Windows/System32/config/SOFTWARE or a user profile under Users or "
                         "Documents and Settings)");
}

} // namespace
