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

std::vector<std::string> names(const std::vector<UserProfile>& users) {
    std::vector<std::string> out;
    for (const UserProfile& u : users) {
        out.push_back(u.name);
    }
    return out;
}

// Each Windows version as the sample builder lays it out, with the template profile Windows
// keeps for itself: the host finds the system folder, the machine hive and the two users.
TEST(WindowsInstallation, FindsEveryLayoutTheBuilderWrites) {
    const struct {
        const char* layout;
        const char* windows;
        const char* profiles;
    } layouts[] = {{"xp", "WINDOWS", "Documents and Settings"},
                   {"vista", "Windows", "Users"},
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
        EXPECT_EQ(found->windowsDir(), dir.file(l.windows));
        EXPECT_EQ(found->softwareHive(), dir.file(l.windows) + "/System32/config/SOFTWARE");
        EXPECT_EQ(found->userList(), "bob, Märta");
        EXPECT_EQ(found->users()[1].ntuserDat,
                  dir.file(std::string(l.profiles) + "/Märta/NTUSER.DAT"));
        EXPECT_EQ(vqrt::PathConverter(dir.path()).windowsFolder(), std::string("C:\\") + l.windows);
    }
}

// Copies of parts of a disk.
TEST(WindowsInstallation, FindsWhatAPartialCopyHolds) {
    const struct {
        std::vector<std::string> files;
        const char* windowsDir; // empty: none
        const char* hive;       // empty: none
        const char* users;
        const char* windowsFolder;
    } cases[] = {
        {{"Windows/notepad.exe", "WINNT/System32/config/SOFTWARE"},
         "WINNT",
         "WINNT/System32/config/SOFTWARE",
         "",
         "C:\\WINNT"},
        {{"Users/Dana/NTUSER.DAT", "Documents and Settings/dana/NTUSER.DAT",
          "Documents and Settings/Eve/ntuser.dat", "Users/NoHive/readme.txt"},
         "",
         "",
         "Dana, Eve",
         "C:\\Windows"},
        {{"windows/x", "Users/Ann/NTUSER.DAT"}, "windows", "", "Ann", "C:\\windows"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (const std::string& file : c.files) {
            writeFile(dir.file(file), "x");
        }
        std::string error;
        const auto found = WindowsInstallation::locate(dir.path() + "/", error);
        ASSERT_TRUE(found) << error;
        const auto local = [&](std::string p) { return p.empty() ? p : dir.file(p); };
        EXPECT_EQ(found->windowsDir(), local(c.windowsDir));
        EXPECT_EQ(found->softwareHive(), local(c.hive));
        EXPECT_EQ(found->userList(), c.users);
        EXPECT_EQ(vqrt::PathConverter(dir.path()).windowsFolder(), c.windowsFolder);
    }
}

TEST(WindowsInstallation, ErrorsNameThePathAndWhatWasExpected) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    writeFile(dir.file("data/Program Files/ICQ/ICQ.exe"), "x");
    writeFile(dir.file("defaultonly/Users/Default/NTUSER.DAT"), "x");
    writeFile(dir.file("dirhive/Windows/System32/config/SOFTWARE/x"), "x");
    const std::string none = ": no Windows installation found (expected "
                             "Windows/System32/config/SOFTWARE or a user profile under Users or "
                             "Documents and Settings)";
    const struct {
        std::string root;
        std::string error;
    } cases[] = {
        {dir.file("missing"), dir.file("missing") + ": no such directory"},
        {dir.file("file"), dir.file("file") + ": not a directory"},
        {dir.file("data"), dir.file("data") + none},
        {dir.file("defaultonly"), dir.file("defaultonly") + none},
        {dir.file("dirhive"), dir.file("dirhive") + none},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(WindowsInstallation::locate(c.root, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(WindowsInstallation, LinkedProfileFoldersAreNotFollowed) {
    TempDir dir;
    writeFile(dir.file("Users/Frank/NTUSER.DAT"), "x");
    writeFile(dir.file("elsewhere/Mallory/NTUSER.DAT"), "x");
    // Vista's "Documents and Settings" junction, and a profile link leading off the volume.
    ASSERT_EQ(symlink(dir.file("Users").c_str(), dir.file("Documents and Settings").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("elsewhere/Mallory").c_str(), dir.file("Users/Mallory").c_str()), 0);
    std::string error;
    const auto found = WindowsInstallation::locate(dir.path(), error);
    ASSERT_TRUE(found) << error;
    EXPECT_EQ(names(found->users()), std::vector<std::string>{"Frank"});
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
    for (const std::string wanted : {"ALICE", "default"}) {
        ASSERT_TRUE(several->chooseUser(wanted, chosen, error)) << error;
        EXPECT_EQ(chosen->name, wanted == "ALICE" ? "Alice" : "Default");
    }
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

    TempDir machineOnly;
    writeFile(machineOnly.file("Windows/System32/config/SOFTWARE"), "x");
    const auto nobody = WindowsInstallation::locate(machineOnly.path(), error);
    ASSERT_TRUE(nobody && nobody->chooseUser("", chosen, error));
    EXPECT_FALSE(chosen);
    EXPECT_FALSE(nobody->chooseUser("zoe", chosen, error));
    EXPECT_EQ(error, machineOnly.path() +
                         ": no user \"zoe\" (expected a profile with NTUSER.DAT under Users or "
                         "Documents and Settings, found: none)");
}

} // namespace
