#include "plugin/tarvex.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/icqtree.h"

namespace {

using testsupport::IcqInstallation;
using testsupport::writeFile;

class Discovery : public ::testing::Test {
protected:
    Discovery() { plugin.setArbiter(&icq.host.arbiter); }

    bool discover() {
        ::testing::internal::CaptureStdout();
        const bool found = plugin.checkDependency();
        output = ::testing::internal::GetCapturedStdout();
        return found;
    }
    std::vector<std::string> nicknames() const {
        std::vector<std::string> names;
        for (const auto& entry : plugin.profileMap) {
            names.push_back(entry.first);
        }
        return names;
    }
    const tarvex::structProfileData& profile(const std::string& nickname) const {
        return *plugin.profileMap.at(nickname);
    }

    IcqInstallation icq;
    tarvex plugin{nullptr};
    std::string output;
};

TEST_F(Discovery, AsksTheHostInOrderAndFindsTheOwners) {
    icq.install(2000);
    icq.addOwner("111.uin", "Rover", "111", true);
    const std::string uinDir = icq.dir.path() + "/Program Files/ICQ/uin";

    ASSERT_TRUE(discover());
    const std::vector<std::string> expected = {
        "getRegistry",
        "readString HKEY_LOCAL_MACHINE|SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
        "Paths\\ICQ.exe|",
        "readDword HKEY_CURRENT_USER|Software\\Mirabilis\\ICQ\\DefaultPrefs|ICQ Version",
        "getTools",
        "convertPath C:\\Program Files\\ICQ\\uin",
        "getFinder 3",
        "setDirectory " + uinDir,
        "setExtension .uin",
        "search false",
        "readString HKEY_CURRENT_USER|Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\Sounds|"
        "ICQALAdmin",
    };
    EXPECT_EQ(icq.host.log, expected);
    EXPECT_EQ(output, "\n --> C:\\Program Files\\ICQ");
    EXPECT_EQ(plugin.icqVersion, 2000);
    EXPECT_STREQ(plugin.icqDir, "C:\\Program Files\\ICQ");
    EXPECT_EQ(std::string(plugin.uinDir), uinDir);
    ASSERT_EQ(nicknames(), std::vector<std::string>{"Rover"});
    EXPECT_EQ(profile("Rover").uinFilePath, uinDir + "/111.uin");
    EXPECT_TRUE(profile("Rover").soundsPresent);
    // The host learns the buffer sizes: 1024 for the application path, 128 for INI values.
    EXPECT_EQ(icq.host.registry.capacities, (std::vector<size_t>{1024, 128}));
}

TEST_F(Discovery, MissingVersionMeans319) {
    icq.install(0);
    ASSERT_TRUE(discover());
    EXPECT_EQ(plugin.icqVersion, 319);
    EXPECT_TRUE(plugin.profileMap.empty());
}

TEST_F(Discovery, ApplicationPathIsCutAtItsLastBackslashOnly) {
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";
    struct Case {
        std::string value;
        std::string icqDir;
    };
    for (const Case& c : {Case{"D:\\Apps\\Mirabilis\\ICQ\\ICQ.exe", "D:\\Apps\\Mirabilis\\ICQ"},
                          Case{"ICQ.exe", "ICQ.exe"}, Case{"C:\\ICQ\\", "C:\\ICQ"}}) {
        icq.host.registry.setString("HKEY_LOCAL_MACHINE", key, "", c.value);
        ASSERT_TRUE(discover());
        EXPECT_STREQ(plugin.icqDir, c.icqDir.c_str()) << c.value;
        EXPECT_EQ(output, "\n --> " + c.icqDir);
    }
}

// "\ICQ.exe" leaves an empty ICQ folder; the owner folder is then "\uin", still converted.
TEST_F(Discovery, EmptyIcqFolderStillLooksForOwnersInUin) {
    icq.host.registry.setString("HKEY_LOCAL_MACHINE",
                                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe",
                                "", "\\ICQ.exe");
    writeFile(icq.dir.path() + "/uin/1.uin", testsupport::ownerFileText("Root", "1"));
    ASSERT_TRUE(discover());
    EXPECT_STREQ(plugin.icqDir, "");
    EXPECT_EQ(std::count(icq.host.log.begin(), icq.host.log.end(), "convertPath \\uin"), 1);
    EXPECT_EQ(nicknames(), std::vector<std::string>{"Root"});
}

TEST_F(Discovery, OverlongApplicationPathOverrunsNothing) {
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";
    // Cut to 1023 characters by the reader, the value keeps only "C:" before its last backslash.
    icq.host.registry.setString("HKEY_LOCAL_MACHINE", key, "",
                                "C:\\" + std::string(1500, 'a') + "\\ICQ.exe");
    ASSERT_TRUE(discover());
    EXPECT_STREQ(plugin.icqDir, "C:");
    EXPECT_EQ(icq.host.registry.capacities.front(), 1024u);

    // A directory longer than 255 characters is not cut into some other folder's name.
    icq.host.registry.setString("HKEY_LOCAL_MACHINE", key, "",
                                "C:\\" + std::string(300, 'a') + "\\ICQ\\ICQ.exe");
    ASSERT_TRUE(discover());
    EXPECT_STREQ(plugin.icqDir, "");
    EXPECT_STREQ(plugin.uinDir, "");
    EXPECT_TRUE(plugin.profileMap.empty());
}

TEST_F(Discovery, CrlfOwnerFileKeepsTheCarriageReturnInTheNicknameOnly) {
    icq.install();
    icq.addOwner("222.uin", "Dos", "222", true, "\r\n");
    ASSERT_TRUE(discover());
    ASSERT_EQ(nicknames(), std::vector<std::string>{"Dos\r"});
    // The sounds key was built from the UIN without its carriage return.
    EXPECT_TRUE(profile("Dos\r").soundsPresent);
}

TEST_F(Discovery, OnlyOneLineEndIsTakenFromTheUin) {
    icq.install();
    writeFile(icq.icqFile("uin/a.uin"), "[ICQ User]\nNickName=A\nUIN=333\r\r\n");
    icq.host.registry.setString("HKEY_CURRENT_USER",
                                "Software\\Mirabilis\\ICQ\\Owners\\333\r\\Prefs\\Sounds",
                                "ICQALAdmin", "x.wav");
    ASSERT_TRUE(discover());
    EXPECT_TRUE(profile("A").soundsPresent);
}

TEST_F(Discovery, SkipsOwnersItCannotUse) {
    icq.install();
    icq.addOwner("1.uin", "", "1");
    writeFile(icq.icqFile("uin/2.uin"), "[ICQ User]\nUIN=2\n");
    writeFile(icq.icqFile("uin/3.uin"), "[ICQ User]\nNickName=NoUin\n");
    writeFile(icq.icqFile("uin/4.uin"), "[ICQ User]\nNickName=EmptyUin\nUIN=\n");
    writeFile(icq.icqFile("uin/5.uin"), "[Other]\nNickName=Elsewhere\nUIN=5\n");
    writeFile(icq.icqFile("uin/dir.uin/x"), "");
    icq.addOwner("6.uin", "Good", "6");
    icq.host.finder.extra = {{icq.icqFile("uin/gone.uin"), true}};
    ASSERT_TRUE(discover());
    EXPECT_EQ(nicknames(), std::vector<std::string>{"Good"});
    EXPECT_FALSE(profile("Good").soundsPresent);
}

TEST_F(Discovery, EmptySoundValueIsNoPersonalSounds) {
    icq.install();
    icq.addOwner("7.uin", "Quiet", "7");
    icq.host.registry.setString("HKEY_CURRENT_USER",
                                "Software\\Mirabilis\\ICQ\\Owners\\7\\Prefs\\Sounds", "ICQALAdmin",
                                "");
    ASSERT_TRUE(discover());
    EXPECT_FALSE(profile("Quiet").soundsPresent);
}

TEST_F(Discovery, LaterFileWithTheSameNicknameWins) {
    icq.install();
    icq.addOwner("100.uin", "Twin", "100");
    icq.addOwner("200.uin", "Twin", "200", true);
    icq.addOwner("300.uin", "Alpha", "300");
    ASSERT_TRUE(discover());
    EXPECT_EQ(nicknames(), (std::vector<std::string>{"Alpha", "Twin"}));
    EXPECT_EQ(profile("Twin").uinFilePath, icq.icqFile("uin/200.uin"));
    EXPECT_TRUE(profile("Twin").soundsPresent);
}

TEST_F(Discovery, NicknamesAreOrderedByBytes) {
    icq.install();
    icq.addOwner("1.uin", "bob", "1");
    icq.addOwner("2.uin", "Zed", "2");
    icq.addOwner("3.uin", "\xC4nne", "3");
    ASSERT_TRUE(discover());
    EXPECT_EQ(nicknames(), (std::vector<std::string>{"Zed", "bob", "\xC4nne"}));
}

TEST_F(Discovery, RebuildsTheMapOnEveryCall) {
    icq.install();
    icq.addOwner("1.uin", "First", "1");
    ASSERT_TRUE(discover());
    std::remove(icq.icqFile("uin/1.uin").c_str());
    icq.addOwner("2.uin", "Second", "2");
    ASSERT_TRUE(discover());
    EXPECT_EQ(nicknames(), std::vector<std::string>{"Second"});
}

TEST_F(Discovery, FailedCallKeepsEarlierState) {
    icq.install(2001);
    icq.addOwner("1.uin", "Kept", "1");
    ASSERT_TRUE(discover());

    icq.host.registry.remove("HKEY_LOCAL_MACHINE",
                             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe",
                             "");
    icq.host.registry.setDword("HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs",
                               "ICQ Version", 1);
    EXPECT_FALSE(discover());
    EXPECT_EQ(output, "");
    EXPECT_EQ(plugin.icqVersion, 2001);
    EXPECT_STREQ(plugin.icqDir, "C:\\Program Files\\ICQ");
    EXPECT_EQ(nicknames(), std::vector<std::string>{"Kept"});

    icq.host.arbiter.registry = nullptr;
    EXPECT_FALSE(discover());
    EXPECT_EQ(nicknames(), std::vector<std::string>{"Kept"});

    tarvex orphan(nullptr);
    EXPECT_FALSE(orphan.checkDependency());
}

TEST_F(Discovery, WithoutToolsTheFinderSearchesAnEmptyDirectory) {
    icq.install();
    icq.addOwner("1.uin", "Lost", "1");
    icq.host.arbiter.tools = nullptr;
    ASSERT_TRUE(discover());
    EXPECT_STREQ(plugin.uinDir, "");
    EXPECT_TRUE(plugin.profileMap.empty());
    EXPECT_NE(std::find(icq.host.log.begin(), icq.host.log.end(), "setDirectory "),
              icq.host.log.end());
}

TEST_F(Discovery, WithoutFinderTheMapIsEmptied) {
    icq.install();
    icq.addOwner("1.uin", "Gone", "1");
    ASSERT_TRUE(discover());
    icq.host.arbiter.finder = nullptr;
    ASSERT_TRUE(discover());
    EXPECT_TRUE(plugin.profileMap.empty());
}

} // namespace
