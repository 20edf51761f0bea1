#include "hostsession.h"

#include <gtest/gtest.h>

#include "emptyhive.h"
#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

vqrt::HostOptions hostOptions(std::string root, std::string user = "",
                              std::vector<std::string> regFiles = {},
                              std::map<char, std::string> drives = {},
                              std::string codepage = "CP1252") {
    vqrt::HostOptions o;
    o.windowsRoot = std::move(root);
    o.user = std::move(user);
    o.regFiles = std::move(regFiles);
    o.drives = std::move(drives);
    o.codepage = std::move(codepage);
    return o;
}

const char* const kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";

class HostSessionTest : public ::testing::Test {
protected:
    std::unique_ptr<vqrt::HostSession> open() { return vqrt::HostSession::open(options, error); }
    void writeUserHive(const std::string& user) {
        const std::string dir = root.file("Documents and Settings/" + user);
        writeFile(dir + "/marker", "");
        mkwin::RegistryTree hive;
        hive.setString("Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Host",
                       user + ".icq.com");
        ASSERT_TRUE(mkwin::writeHive(dir + "/NTUSER.DAT", hive, error)) << error;
    }

    TempDir root;
    TempDir other;
    vqrt::HostOptions options = hostOptions(root.path());
    std::string error;
};

TEST_F(HostSessionTest, RefusesWhatCannotBeUsedWithOneLine) {
    writeFile(other.file("a.reg"), "REGEDIT4\n");
    struct Case {
        const char* label;
        vqrt::HostOptions options;
        std::string expected;
    };
    const Case cases[] = {
        {"no root", hostOptions(""), "no Windows installation given (expected --windows-root DIR)"},
        {"missing root", hostOptions(other.file("gone")),
         other.file("gone") + ": not a directory (expected the root of a mounted Windows system "
                              "volume)"},
        {"bad code page", hostOptions(root.path(), "", {other.file("a.reg")}, {}, "NO-SUCH"),
         "unknown code page NO-SUCH (expected an iconv name such as CP1252)"},
        {"missing drive",
         hostOptions(root.path(), "", {other.file("a.reg")}, {{'D', other.file("d")}}),
         other.file("d") + ": not a directory (expected the folder of drive D:)"},
        {"user without profiles", hostOptions(root.path(), "Alice", {other.file("a.reg")}),
         root.path() + ": no user profiles (expected Users/Alice/NTUSER.DAT or Documents and "
                       "Settings/Alice/NTUSER.DAT)"},
    };
    for (const Case& c : cases) {
        options = c.options;
        error.clear();
        EXPECT_EQ(open(), nullptr) << c.label;
        EXPECT_EQ(error, c.expected) << c.label;
    }
}

TEST_F(HostSessionTest, EmptyFolderWithoutRegExportIsNoInstallation) {
    EXPECT_EQ(open(), nullptr);
    EXPECT_NE(error.find(root.path()), std::string::npos) << error;
}

TEST_F(HostSessionTest, RegExportOverAFolderTreeIsEnough) {
    writeFile(other.file("icq.reg"), std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\") + kAppPaths +
                                         "]\n@=\"C:\\\\Program Files\\\\ICQ\\\\ICQ.exe\"\n");
    writeFile(root.file("Program Files/ICQ/uin/1.uin"), "");
    options.regFiles = {other.file("icq.reg")};
    const auto session = open();
    ASSERT_NE(session, nullptr) << error;
    char value[64];
    EXPECT_EQ(session->getRegistry()->readString("HKEY_LOCAL_MACHINE", kAppPaths, "", value,
                                                 sizeof value),
              0);
    EXPECT_STREQ(value, "C:\\Program Files\\ICQ\\ICQ.exe");
    std::string local;
    session->getTools()->convertPath("c:\\program files\\icq\\UIN", local);
    EXPECT_EQ(local, root.file("Program Files/ICQ/uin"));
    EXPECT_NE(session->getFinder(3), nullptr);
    EXPECT_EQ(session->getFinder(1), nullptr);
    EXPECT_EQ(session->getAgent(), nullptr);
}

TEST_F(HostSessionTest, ChoosesTheUserWhoseHiveIsRead) {
    writeUserHive("Alice");
    writeUserHive("Bob");
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(error, root.path() + ": several users (Alice, Bob); choose one with --user NAME");

    options.user = "bob";
    const auto session = open();
    ASSERT_NE(session, nullptr) << error;
    ASSERT_TRUE(session->user().has_value());
    EXPECT_EQ(session->user()->name, "Bob");
    char value[64];
    EXPECT_EQ(session->getRegistry()->readString("HKEY_CURRENT_USER",
                                                 "Software\\Mirabilis\\ICQ\\DefaultPrefs",
                                                 "Default Server Host", value, sizeof value),
              0);
    EXPECT_STREQ(value, "Bob.icq.com");
}

} // namespace
