#include "windowsinstall.h"

#include <unistd.h>

#include <gtest/gtest.h>

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

struct Layout {
    const char* name;
    std::vector<std::string> files; // relative to the root
    std::string windowsDir;         // relative; empty: none
    std::string softwareHive;       // relative; empty: none
    std::vector<std::string> users;
};

class Layouts : public ::testing::TestWithParam<Layout> {};

TEST_P(Layouts, FindsHiveWindowsFolderAndUsers) {
    const Layout& layout = GetParam();
    TempDir dir;
    for (const std::string& file : layout.files) {
        writeFile(dir.file(file), "hive");
    }
    std::string error;
    const std::optional<WindowsInstallation> found =
        WindowsInstallation::locate(dir.path() + "/", error);
    ASSERT_TRUE(found) << error;
    EXPECT_EQ(found->root(), dir.path() + "/");
    EXPECT_EQ(found->windowsDir(), layout.windowsDir.empty() ? "" : dir.file(layout.windowsDir));
    EXPECT_EQ(found->softwareHive(),
              layout.softwareHive.empty() ? "" : dir.file(layout.softwareHive));
    EXPECT_EQ(names(found->users()), layout.users);
    for (const UserProfile& user : found->users()) {
        EXPECT_EQ(user.ntuserDat.rfind(user.profileDir + "/", 0), 0u) << user.ntuserDat;
    }
}

INSTANTIATE_TEST_SUITE_P(
    WindowsVersions, Layouts,
    ::testing::Values(
        Layout{"xp",
               {"WINDOWS/system32/config/software", "Documents and Settings/Alice/NTUSER.DAT",
                "Documents and Settings/All Users/NTUSER.DAT",
                "Documents and Settings/Default User/NTUSER.DAT",
                "Documents and Settings/LocalService/NTUSER.DAT",
                "Documents and Settings/NetworkService/NTUSER.DAT"},
               "WINDOWS",
               "WINDOWS/system32/config/software",
               {"Alice"}},
        Layout{"vista",
               {"Windows/System32/config/SOFTWARE", "Users/bob/ntuser.dat",
                "Users/Public/NTUSER.DAT", "Users/Default/NTUSER.DAT", "Users/Carol/NTUSER.DAT",
                "Users/NoHive/Desktop/readme.txt"},
               "Windows",
               "Windows/System32/config/SOFTWARE",
               {"bob", "Carol"}},
        Layout{"nt",
               {"winnt/SYSTEM32/CONFIG/Software", "Documents and Settings/Admin/NTUSER.DAT"},
               "winnt",
               "winnt/SYSTEM32/CONFIG/Software",
               {"Admin"}},
        // An empty Windows folder beside one that holds the hive.
        Layout{"two windows folders",
               {"Windows/notepad.exe", "WINNT/System32/config/SOFTWARE"},
               "WINNT",
               "WINNT/System32/config/SOFTWARE",
               {}},
        // Only the user profiles were copied: usable, HKEY_LOCAL_MACHINE is absent.
        Layout{"users only",
               {"Users/Dana/NTUSER.DAT", "Documents and Settings/dana/NTUSER.DAT",
                "Documents and Settings/Eve/NTUSER.DAT"},
               "",
               "",
               {"Dana", "Eve"}}),
    [](const ::testing::TestParamInfo<Layout>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            c = c == ' ' ? '_' : c;
        }
        return name;
    });

TEST(WindowsInstallationErrors, NameThePathAndWhatWasExpected) {
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

TEST(WindowsInstallationUsers, LinkedProfileFoldersAreNotFollowed) {
    TempDir dir;
    writeFile(dir.file("Users/Frank/NTUSER.DAT"), "x");
    writeFile(dir.file("elsewhere/Mallory/NTUSER.DAT"), "x");
    // Vista's "Documents and Settings" junction, and a profile link leading off the volume.
    ASSERT_EQ(symlink(dir.file("Users").c_str(), dir.file("Documents and Settings").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("elsewhere/Mallory").c_str(), dir.file("Users/Mallory").c_str()), 0);
    std::string error;
    const std::optional<WindowsInstallation> found = WindowsInstallation::locate(dir.path(), error);
    ASSERT_TRUE(found) << error;
    EXPECT_EQ(names(found->users()), std::vector<std::string>{"Frank"});
}

TEST(WindowsInstallationUsers, ChoosesTheOnlyUserOrTheOneNamed) {
    TempDir dir;
    writeFile(dir.file("Users/Alice/NTUSER.DAT"), "x");
    writeFile(dir.file("Users/Bob/NTUSER.DAT"), "x");
    writeFile(dir.file("Users/Default/NTUSER.DAT"), "x");
    std::string error;
    const std::optional<WindowsInstallation> several =
        WindowsInstallation::locate(dir.path(), error);
    ASSERT_TRUE(several) << error;

    std::optional<UserProfile> chosen;
    EXPECT_FALSE(several->chooseUser("", chosen, error));
    EXPECT_EQ(error, dir.path() + ": several users (Alice, Bob); choose one with --user NAME");
    EXPECT_FALSE(chosen);

    const struct {
        const char* wanted;
        const char* name;
    } picks[] = {{"bob", "Bob"}, {"ALICE", "Alice"}, {"default", "Default"}};
    for (const auto& p : picks) {
        ASSERT_TRUE(several->chooseUser(p.wanted, chosen, error)) << error;
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->name, p.name);
        EXPECT_EQ(chosen->ntuserDat, dir.file(std::string("Users/") + p.name + "/NTUSER.DAT"));
    }
    EXPECT_FALSE(several->chooseUser("carol", chosen, error));
    EXPECT_EQ(error, dir.path() +
                         ": no user \"carol\" (expected a profile with NTUSER.DAT under Users or "
                         "Documents and Settings, found: Alice, Bob)");

    TempDir single;
    writeFile(single.file("Users/Zoe/NTUSER.DAT"), "x");
    writeFile(single.file("Windows/System32/config/SOFTWARE"), "x");
    const std::optional<WindowsInstallation> one =
        WindowsInstallation::locate(single.path(), error);
    ASSERT_TRUE(one);
    ASSERT_TRUE(one->chooseUser("", chosen, error));
    EXPECT_EQ(chosen->name, "Zoe");

    TempDir machineOnly;
    writeFile(machineOnly.file("Windows/System32/config/SOFTWARE"), "x");
    const std::optional<WindowsInstallation> nobody =
        WindowsInstallation::locate(machineOnly.path(), error);
    ASSERT_TRUE(nobody);
    EXPECT_TRUE(nobody->chooseUser("", chosen, error));
    EXPECT_FALSE(chosen);
    EXPECT_FALSE(nobody->chooseUser("zoe", chosen, error));
    EXPECT_EQ(error, machineOnly.path() +
                         ": no user \"zoe\" (expected a profile with NTUSER.DAT under Users or "
                         "Documents and Settings, found: none)");
}

} // namespace
