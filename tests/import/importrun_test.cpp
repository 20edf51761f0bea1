#include "runfixture.h"

namespace importtest {
namespace {

const std::vector<int> kAllSteps = {5, 5, 5, 10, 10, 5, 10, 10};
const Lines kFailure = {"begin ICQ_FAILURE", "ICQ_VQX_STATUS=ICQ_VQX_YES", "end", "flush"};

TEST_F(ImportRun, WithoutPageAsksThePasswordAndTakesTheFirstOwner) {
    icq.addOwner("999.uin", "Zulu", "999");
    discover();
    EXPECT_EQ(run("s3cret"), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(io.lines, fullRecord("s3cret"));
    EXPECT_EQ(icq.host.agent.steps, kAllSteps);
    EXPECT_EQ(stdoutText, "\n Hi5 in fileio destructor\n");
    EXPECT_STREQ(plugin.ownerUin, "111");
    EXPECT_EQ(std::string(plugin.contactsDbPath), icq.icqFile("2000a/111.dat"));
    EXPECT_EQ(run(""), 0);
    EXPECT_EQ(io.lines, fullRecord(""));
}

class CancelAt : public ImportRun, public ::testing::WithParamInterface<int> {};

// The record keeps what was written before the n-th progress step answered 32; open
// sections stay open and nothing is flushed.
TEST_P(CancelAt, StopsAtOnce) {
    const int step = GetParam();
    const long linesBefore[] = {0, 3, 3, 14, 16, 17, 19, 23};
    discover();
    icq.host.agent.cancelAtStep = step;
    EXPECT_EQ(run(), -1);
    const Lines full = fullRecord("pw");
    EXPECT_EQ(io.lines, Lines(full.begin(), full.begin() + linesBefore[step - 1]));
    EXPECT_EQ(static_cast<int>(icq.host.agent.steps.size()), step);
    EXPECT_TRUE(icq.host.agent.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryProgressStep, CancelAt, ::testing::Range(1, 9));

TEST_F(ImportRun, RefusedPasswordOrNoOwnerWritesTheFailureRecord) {
    std::remove(icq.icqFile("uin/111.uin").c_str());
    discover();
    // The password is asked before the owner is looked at.
    EXPECT_EQ(run("", false), -1);
    EXPECT_EQ(io.lines, kFailure);
    EXPECT_TRUE(icq.host.agent.steps.empty());
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(io.lines, kFailure);
    showPage("");
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(io.lines, kFailure);
    EXPECT_EQ(icq.host.agent.messages,
              (Lines{"User password has not been set!", "No user profile has been set.",
                     "No user profile has been set."}));
    EXPECT_EQ(icq.host.agent.messageKinds, std::vector<int>(3, 0x6000 + 50));
}

TEST_F(ImportRun, TypedPasswordIsUsedWithoutAsking) {
    discover();
    showPage("p\xC3\xA4ss");
    EXPECT_EQ(run("never"), 0);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(io.lines, fullRecord("p\xC3\xA4ss"));
}

TEST_F(ImportRun, UnreadableOwnerFileGoesOnWithEmptyValues) {
    discover();
    std::remove(icq.icqFile("uin/111.uin").c_str());
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(icq.host.agent.messages, Lines{"Error loading UIN file!"});
    EXPECT_EQ(section("ICQ_OWNER"), (Lines{"UIN=", "Nickname=", "Password=pw"}));
    EXPECT_STREQ(plugin.ownerUin, "");
}

TEST_F(ImportRun, ServerValues) {
    discover();
    auto& registry = icq.host.registry;
    registry.setDword("HKEY_CURRENT_USER", kPrefs, "Default Server Port", 0xFFFFFFFFL);
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(section("ICQ_IMPORTED_SETTINGS")[1], "ICQ_HOST_SERVER_PORT=-1");
    registry.remove("HKEY_CURRENT_USER", kPrefs, "Default Server Host");
    registry.remove("HKEY_CURRENT_USER", kPrefs, "Default Server Port");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(section("ICQ_IMPORTED_SETTINGS")[0], "ICQ_HOST_SERVER_NAME=ICQ_VQX_NO");
    EXPECT_EQ(section("ICQ_IMPORTED_SETTINGS")[1], "ICQ_HOST_SERVER_PORT=ICQ_VQX_NO");
    // Without a registry there are no server keys and the sounds section stays empty.
    icq.host.arbiter.registry = nullptr;
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(section("ICQ_IMPORTED_SETTINGS")[0], "ICQ_USER_SETTINGS=ICQ_VQX_YES");
    EXPECT_EQ(section("ICQ_SOUNDS_SETTINGS"), Lines{});
}

TEST_F(ImportRun, PageChoicesShapeTheRecord) {
    discover();
    showPage();
    click(box("m_pHostServerSettings"));
    click(plugin.optionsDlg->m_pUserSettings);
    click(box("m_pSoundSettings"));
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(section("ICQ_IMPORTED_SETTINGS"),
              (Lines{"ICQ_USER_SETTINGS=ICQ_VQX_NO", "ICQ_USER_CONTACTS=ICQ_VQX_YES",
                     "ICQ_APPEND_CONTACTS=ICQ_VQX_YES", "ICQ_SOUNDS_SETTINGS_PRESENT=ICQ_VQX_NO"}));
    EXPECT_EQ(section("ICQ_OWNER"), Lines{"absent"});
    EXPECT_EQ(section("ICQ_SOUNDS_SETTINGS"), Lines{"absent"});
    EXPECT_EQ(section("CONTACTS"), Lines{"No_contacts=0"});
    EXPECT_STREQ(plugin.ownerUin, "111");
    EXPECT_EQ(icq.host.agent.steps, kAllSteps);
}

TEST_F(ImportRun, AppendFlagFollowsOverwriteAndTheContactsBox) {
    discover();
    showPage();
    const auto flags = [&] {
        EXPECT_EQ(run(), 0);
        const Lines s = section("ICQ_IMPORTED_SETTINGS");
        return s[3] + " " + s[4];
    };
    click(box("m_pOverwriteContacts"));
    EXPECT_EQ(flags(), "ICQ_USER_CONTACTS=ICQ_VQX_YES ICQ_APPEND_CONTACTS=ICQ_VQX_NO");
    click(box("m_pOverwriteContacts"));
    click(plugin.optionsDlg->m_pImportContacts);
    EXPECT_EQ(flags(), "ICQ_USER_CONTACTS=ICQ_VQX_NO ICQ_APPEND_CONTACTS=ICQ_VQX_YES");
    EXPECT_EQ(section("CONTACTS"), Lines{"absent"});
    plugin.optionsDlg->m_pImportContacts->setEnabled(false);
    EXPECT_EQ(flags(), "ICQ_USER_CONTACTS=ICQ_VQX_NO ICQ_APPEND_CONTACTS=ICQ_VQX_NO");
}

TEST_F(ImportRun, MissingHostObjectsWriteNothing) {
    discover();
    for (int missing = 0; missing < 3; ++missing) {
        testsupport::FakeArbiter arbiter = icq.host.arbiter;
        if (missing == 0) {
            arbiter.agent = nullptr;
        } else {
            arbiter.tools = nullptr;
        }
        tarvex other(missing == 2 ? nullptr : &arbiter);
        EXPECT_EQ(other.activatePlugin(&io, 0), -1);
        EXPECT_TRUE(io.lines.empty());
    }
}

TEST_F(ImportRun, HandleFileQuotesTheConvertedPathWithItsBlanks) {
    plugin.HandleFile(&io, &icq.host.tools, "C:\\My Sounds\\new mail.wav", "ICQEMail");
    EXPECT_EQ(io.lines, Lines{"file ICQEMail=\"" + icq.dir.path() + "/My Sounds/new mail.wav\""});
}

} // namespace
} // namespace importtest
