#include "windowsinstall.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "pathconverter.h"
#include "support/sample.h"
#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;
using vqrt::WindowsInstallation;

// Each Windows version as the sample builder lays it out, with the template profile Windows
// keeps for itself: the host finds the system folder, the machine's registry and the two users.
TEST(WindowsInstallation, FindsEveryLayoutTheBuilderWrites) {
    const struct {
        const char* layout;
        const char* windows;
        const char* machine;
        const char* user;
    } layouts[] = {
        {"xp", "WINDOWS", "System32/config/SOFTWARE", "Documents and Settings/Märta/NTUSER.DAT"},
        {"7", "Windows", "System32/config/SOFTWARE", "Users/Märta/NTUSER.DAT"},
        {"nt", "WINNT", "System32/config/SOFTWARE", "Documents and Settings/Märta/NTUSER.DAT"},
        {"98", "WINDOWS", "SYSTEM.DAT", "WINDOWS/Profiles/Märta/USER.DAT"}};
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.layout);
        TempDir dir;
        ASSERT_NO_FATAL_FAILURE(testsupport::buildSample(
            {{"layout", l.layout}, {"users", {"Märta", "bob"}}}, dir.path()));
        std::string error;
        const auto found = WindowsInstallation::locate(dir.path(), error);
        ASSERT_TRUE(found) << error;
        EXPECT_EQ(found->softwareHive(), dir.file(l.windows) + "/" + l.machine);
        EXPECT_EQ(found->userList(), "bob, Märta");
        EXPECT_EQ(found->users()[1].ntuserDat, dir.file(l.user));
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
        {{"Users/Dana/NTUSER.DAT", "Documents and Settings/Eve/ntuser.dat", "Users/No/readme.txt"},
         "",
         "Dana, Eve"},
        {{"Users/Frank/NTUSER.DAT", "@Mallory/NTUSER.DAT", "@System32/config/SOFTWARE", "Windows/x",
          "Documents and Settings -> Users", "Users/Mallory -> @Mallory",
          "Windows/System32 -> @System32"},
         "",
         "Frank"},
        // Windows 98 without profiles: the Windows folder's USER.DAT is everybody's; a profile
        // elsewhere is not followed.
        {{"WINDOWS/SYSTEM.DAT", "WINDOWS/USER.DAT", "WINDOWS/Profiles/desktop.ini",
          "WINDOWS/Profiles/Ivy -> @Ivy", "@Ivy/USER.DAT"},
         "WINDOWS/SYSTEM.DAT",
         "Default"},
        // A disk with Windows 98 and 2000 side by side: 2000's registry is the one read.
        {{"WINDOWS/SYSTEM.DAT", "WINDOWS/Profiles/Gus/USER.DAT", "WINNT/System32/config/SOFTWARE",
          "Documents and Settings/Hal/NTUSER.DAT"},
         "WINNT/System32/config/SOFTWARE",
         "Hal"},
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

} // namespace
