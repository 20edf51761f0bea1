#include "plugin/tarvex.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/icqtree.h"

namespace {

using testsupport::writeFile;
using Names = std::vector<std::string>;

const char* const kAppPathKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";

class Discovery : public ::testing::Test {
protected:
    Discovery() { plugin.setArbiter(&icq.host.arbiter); }

    bool discover() {
        ::testing::internal::CaptureStdout();
        const bool found = plugin.checkDependency();
        output = ::testing::internal::GetCapturedStdout();
        return found;
    }
    /// The owners found, by nickname, "+" marking personal sounds.
    Names owners() const {
        Names names;
        for (const auto& [nickname, profile] : plugin.profileMap) {
            names.push_back(nickname + (profile->soundsPresent ? "+" : ""));
        }
        return names;
    }

    testsupport::IcqInstallation icq;
    tarvex plugin{nullptr};
    std::string output;
};

TEST_F(Discovery, IcqFolderIsTheApplicationPathCutAtItsLastBackslash) {
    icq.install(0);
    ASSERT_TRUE(discover());
    EXPECT_EQ(output, "\n --> C:\\Program Files\\ICQ");
    EXPECT_EQ(std::string(plugin.uinDir), icq.icqFile("uin"));
    for (const auto& [path, folder] :
         {std::pair<std::string, std::string>{"D:\\A\\ICQ\\ICQ.exe", "D:\\A\\ICQ"},
          // Cut to 1023 characters, only "C:" lies before the last backslash.
          {"C:\\" + std::string(1500, 'a') + "\\ICQ.exe", "C:"}}) {
        icq.host.registry.setString("HKEY_LOCAL_MACHINE", kAppPathKey, "", path);
        ASSERT_TRUE(discover());
        EXPECT_EQ(plugin.icqVersion, 319);
        EXPECT_STREQ(plugin.icqDir, folder.c_str());
        EXPECT_EQ(output, "\n --> " + folder);
    }
}

// The nickname keeps a CRLF file's carriage return; the sounds key is built from the UIN
// without its last line end. Of twin nicknames the later file wins.
TEST_F(Discovery, OwnersItCanUseAreFoundAndOrderedByBytes) {
    icq.install();
    icq.addOwner("1.uin", "", "1", true);
    writeFile(icq.icqFile("uin/4.uin"), "[ICQ User]\nNickName=EmptyUin\nUIN=\n");
    writeFile(icq.icqFile("uin/5.uin"), "[Other]\nNickName=Elsewhere\nUIN=5\n");
    writeFile(icq.icqFile("uin/dir.uin/x"), "");
    icq.addOwner("6.uin", "Dos", "6", true, "\r\n");
    writeFile(icq.icqFile("uin/7.uin"), "[ICQ User]\nNickName=A\nUIN=7\r\r\n");
    icq.host.registry.setString("HKEY_CURRENT_USER",
                                "Software\\Mirabilis\\ICQ\\Owners\\7\r\\Prefs\\Sounds",
                                "ICQALAdmin", "x.wav");
    icq.addOwner("8.uin", "Quiet", "8");
    icq.host.registry.setString("HKEY_CURRENT_USER",
                                "Software\\Mirabilis\\ICQ\\Owners\\8\\Prefs\\Sounds", "ICQALAdmin",
                                "");
    icq.addOwner("90.uin", "Twin", "90");
    icq.addOwner("91.uin", "Twin", "91", true);
    icq.addOwner("92.uin", "\xC4nne", "92");
    icq.addOwner("93.uin", "bob", "93");
    ASSERT_TRUE(discover());
    EXPECT_EQ(owners(), (Names{"A+", "Dos\r+", "Quiet", "Twin+", "bob", "\xC4nne"}));
    EXPECT_EQ(plugin.profileMap.at("Twin")->uinFilePath, icq.icqFile("uin/91.uin"));
}

// A call that finds ICQ rebuilds the owners; one that does not keeps everything. Without tools
// the owner folder is empty and no owner is found.
TEST_F(Discovery, EachCallRebuildsTheOwnersAFailedCallKeepsThem) {
    icq.install(2001);
    icq.addOwner("1.uin", "First", "1");
    ASSERT_TRUE(discover());
    std::remove(icq.icqFile("uin/1.uin").c_str());
    icq.addOwner("2.uin", "Kept", "2");
    ASSERT_TRUE(discover());
    EXPECT_EQ(owners(), Names{"Kept"});

    icq.host.registry.remove("HKEY_LOCAL_MACHINE", kAppPathKey, "");
    icq.host.registry.setDword("HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs",
                               "ICQ Version", 1);
    EXPECT_FALSE(discover());
    EXPECT_EQ(plugin.icqVersion, 2001);
    EXPECT_STREQ(plugin.icqDir, "C:\\Program Files\\ICQ");
    icq.host.arbiter.registry = nullptr;
    EXPECT_FALSE(discover());
    EXPECT_EQ(owners(), Names{"Kept"});

    icq.host.arbiter.registry = &icq.host.registry;
    icq.install();
    icq.host.arbiter.tools = nullptr;
    ASSERT_TRUE(discover());
    EXPECT_STREQ(plugin.uinDir, "");
    EXPECT_TRUE(owners().empty());
}

} // namespace
