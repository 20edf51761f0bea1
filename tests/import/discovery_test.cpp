#include "plugin/tarvex.h"

#include <algorithm>
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
    void setAppPath(const std::string& path) {
        icq.host.registry.setString("HKEY_LOCAL_MACHINE", kAppPathKey, "", path);
    }

    testsupport::IcqInstallation icq;
    tarvex plugin{nullptr};
    std::string output;
};

TEST_F(Discovery, AsksTheHostInOrderAndFindsTheOwners) {
    icq.install(2000);
    icq.addOwner("111.uin", "Rover", "111", true);
    const std::string uinDir = icq.dir.path() + "/Program Files/ICQ/uin";
    ASSERT_TRUE(discover());
    EXPECT_EQ(
        icq.host.log,
        (Names{
            "getRegistry", "readString HKEY_LOCAL_MACHINE|" + std::string(kAppPathKey) + "|",
            "readDword HKEY_CURRENT_USER|Software\\Mirabilis\\ICQ\\DefaultPrefs|ICQ Version",
            "getTools", "convertPath C:\\Program Files\\ICQ\\uin", "getFinder 3",
            "setDirectory " + uinDir, "setExtension .uin", "search false",
            "readString "
            "HKEY_CURRENT_USER|Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\Sounds|ICQALAdmin"}));
    EXPECT_EQ(output, "\n --> C:\\Program Files\\ICQ");
    EXPECT_EQ(plugin.icqVersion, 2000);
    EXPECT_STREQ(plugin.icqDir, "C:\\Program Files\\ICQ");
    EXPECT_EQ(std::string(plugin.uinDir), uinDir);
    EXPECT_EQ(owners(), Names{"Rover+"});
    EXPECT_EQ(plugin.profileMap.at("Rover")->uinFilePath, uinDir + "/111.uin");
    // The host learns the buffer sizes: 1024 for the application path, 128 for INI values.
    EXPECT_EQ(icq.host.registry.capacities, (std::vector<size_t>{1024, 128}));
}

TEST_F(Discovery, IcqFolderIsTheApplicationPathCutAtItsLastBackslash) {
    icq.install(0);
    ASSERT_TRUE(discover());
    EXPECT_EQ(plugin.icqVersion, 319);
    for (const auto& [path, folder] :
         {std::pair<std::string, std::string>{"D:\\A\\ICQ\\ICQ.exe", "D:\\A\\ICQ"},
          {"ICQ.exe", "ICQ.exe"},
          {"C:\\ICQ\\", "C:\\ICQ"},
          // Cut to 1023 characters, only "C:" lies before the last backslash.
          {"C:\\" + std::string(1500, 'a') + "\\ICQ.exe", "C:"}}) {
        setAppPath(path);
        ASSERT_TRUE(discover());
        EXPECT_STREQ(plugin.icqDir, folder.c_str());
        EXPECT_EQ(output, "\n --> " + folder);
    }
    // "\ICQ.exe" leaves an empty ICQ folder; the owner folder is then "\uin", still converted.
    setAppPath("\\ICQ.exe");
    writeFile(icq.dir.file("uin/1.uin"), testsupport::ownerFileText("Root", "1"));
    ASSERT_TRUE(discover());
    EXPECT_STREQ(plugin.icqDir, "");
    EXPECT_EQ(owners(), Names{"Root"});
    // A folder longer than 255 characters is not cut into some other folder's name.
    setAppPath("C:\\" + std::string(300, 'a') + "\\ICQ\\ICQ.exe");
    ASSERT_TRUE(discover());
    EXPECT_STREQ(plugin.icqDir, "");
    EXPECT_STREQ(plugin.uinDir, "");
    EXPECT_TRUE(owners().empty());
}

// The nickname keeps a CRLF file's carriage return; the sounds key is built from the UIN
// without its last line end.
TEST_F(Discovery, OwnersItCanUseAreFoundAndOrderedByBytes) {
    icq.install();
    icq.addOwner("1.uin", "", "1");
    writeFile(icq.icqFile("uin/2.uin"), "[ICQ User]\nUIN=2\n");
    writeFile(icq.icqFile("uin/3.uin"), "[ICQ User]\nNickName=NoUin\n");
    writeFile(icq.icqFile("uin/4.uin"), "[ICQ User]\nNickName=EmptyUin\nUIN=\n");
    writeFile(icq.icqFile("uin/5.uin"), "[Other]\nNickName=Elsewhere\nUIN=5\n");
    writeFile(icq.icqFile("uin/dir.uin/x"), "");
    icq.host.finder.extra = {{icq.icqFile("uin/gone.uin"), true}};
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
    EXPECT_EQ(output, "");
    EXPECT_EQ(plugin.icqVersion, 2001);
    EXPECT_STREQ(plugin.icqDir, "C:\\Program Files\\ICQ");
    icq.host.arbiter.registry = nullptr;
    EXPECT_FALSE(discover());
    EXPECT_EQ(owners(), Names{"Kept"});
    EXPECT_FALSE(tarvex(nullptr).checkDependency());
}

TEST_F(Discovery, WithoutToolsOrFinderNoOwnersAreFound) {
    icq.install();
    icq.addOwner("1.uin", "Lost", "1");
    icq.host.arbiter.tools = nullptr;
    ASSERT_TRUE(discover());
    EXPECT_STREQ(plugin.uinDir, "");
    EXPECT_TRUE(owners().empty());
    EXPECT_NE(std::find(icq.host.log.begin(), icq.host.log.end(), "setDirectory "),
              icq.host.log.end());

    icq.host.arbiter.tools = &icq.host.tools;
    ASSERT_TRUE(discover());
    icq.host.arbiter.finder = nullptr;
    ASSERT_TRUE(discover());
    EXPECT_TRUE(owners().empty());
}

} // namespace
