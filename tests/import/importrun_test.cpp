#include "runfixture.h"

namespace importtest {
namespace {

TEST_F(ImportRun, WithoutPageAsksPasswordTakesFirstOwnerAndWritesEverything) {
    icq.addOwner("999.uin", "Zulu", "999");
    discover();
    PasswordDialogAnswer answer("s3cret", true);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_EQ(io.lines, fullRecord("s3cret"));
    EXPECT_EQ(io.flushes, 1);
    EXPECT_EQ(icq.host.agent.steps, (std::vector<int>{5, 5, 5, 10, 10, 5, 10, 10}));
    EXPECT_EQ(stdoutText, "\n Hi5 in fileio destructor\n");
    EXPECT_STREQ(plugin.ownerUin, "111");
    EXPECT_EQ(std::string(plugin.contactsDbPath),
              icq.dir.path() + "/Program Files/ICQ/2000a/111.dat");
}

class CancelAt : public ImportRun, public ::testing::WithParamInterface<int> {};

// The record keeps what was written before the n-th progress step answered 32; open
// sections stay open and nothing is flushed.
TEST_P(CancelAt, StopsAtOnce) {
    const int step = GetParam();
    const size_t linesBefore[] = {0, 3, 3, 14, 16, 17, 19, 23};
    discover();
    icq.host.agent.cancelAtStep = step;
    PasswordDialogAnswer answer("pw", true);
    EXPECT_EQ(run(), -1);
    const Lines full = fullRecord("pw");
    EXPECT_EQ(io.lines,
              Lines(full.begin(), full.begin() + static_cast<long>(linesBefore[step - 1])));
    EXPECT_EQ(io.flushes, 0);
    EXPECT_EQ(static_cast<int>(icq.host.agent.steps.size()), step);
    EXPECT_TRUE(icq.host.agent.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryProgressStep, CancelAt, ::testing::Range(1, 9));

TEST_F(ImportRun, RefusedPasswordWritesTheFailureRecord) {
    discover();
    showPage();
    PasswordDialogAnswer answer("", false);
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(io.lines, (Lines{"begin ICQ_FAILURE", "ICQ_VQX_STATUS=ICQ_VQX_YES", "end", "flush"}));
    EXPECT_EQ(icq.host.agent.messages, Lines{"User password has not been set!"});
    EXPECT_EQ(icq.host.agent.messageKinds, std::vector<int>{0x6000 + 50});
    EXPECT_TRUE(icq.host.agent.steps.empty());
}

TEST_F(ImportRun, PasswordIsAskedBeforeTheOwner) {
    std::remove(icq.icqFile("uin/111.uin").c_str());
    discover();
    showPage();
    PasswordDialogAnswer answer("", false);
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(icq.host.agent.messages, Lines{"User password has not been set!"});
}

TEST_F(ImportRun, NoOwnerWritesTheFailureRecord) {
    std::remove(icq.icqFile("uin/111.uin").c_str());
    discover();
    for (bool withPage : {false, true}) {
        io.lines.clear();
        icq.host.agent.messages.clear();
        if (withPage) {
            showPage();
        }
        PasswordDialogAnswer answer("pw", true);
        EXPECT_EQ(run(), -1);
        EXPECT_EQ(io.lines,
                  (Lines{"begin ICQ_FAILURE", "ICQ_VQX_STATUS=ICQ_VQX_YES", "end", "flush"}));
        EXPECT_EQ(icq.host.agent.messages, Lines{"No user profile has been set."});
    }
}

TEST_F(ImportRun, TypedPasswordOnThePageIsUsedWithoutAsking) {
    discover();
    showPage();
    plugin.optionsDlg->m_pOwnerPassword->setText(QString::fromUtf8("p\xC3\xA4ss"));
    PasswordDialogAnswer answer("never", true);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(answer.answered(), 0);
    EXPECT_EQ(io.lines, fullRecord("p\xC3\xA4ss"));
}

TEST_F(ImportRun, AcceptedEmptyPasswordIsEmpty) {
    discover();
    PasswordDialogAnswer answer("", true);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(io.lines, fullRecord(""));
}

TEST_F(ImportRun, UnreadableOwnerFileGoesOnWithEmptyValues) {
    discover();
    std::remove(icq.icqFile("uin/111.uin").c_str());
    PasswordDialogAnswer answer("pw", true);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(icq.host.agent.messages, Lines{"Error loading UIN file!"});
    EXPECT_NE(std::find(io.lines.begin(), io.lines.end(), "UIN="), io.lines.end());
    EXPECT_NE(std::find(io.lines.begin(), io.lines.end(), "Nickname="), io.lines.end());
    EXPECT_STREQ(plugin.ownerUin, "");
}

TEST_F(ImportRun, ServerValues) {
    struct Case {
        bool host;
        bool port;
        long portValue;
        Lines expected;
    };
    const Case cases[] = {
        {true, true, 4000, {"ICQ_HOST_SERVER_NAME=login.icq.com", "ICQ_HOST_SERVER_PORT=4000"}},
        {true, true, -5190, {"ICQ_HOST_SERVER_NAME=login.icq.com", "ICQ_HOST_SERVER_PORT=-5190"}},
        {true,
         true,
         0xFFFFFFFFL,
         {"ICQ_HOST_SERVER_NAME=login.icq.com", "ICQ_HOST_SERVER_PORT=-1"}},
        {false, false, 0, {"ICQ_HOST_SERVER_NAME=ICQ_VQX_NO", "ICQ_HOST_SERVER_PORT=ICQ_VQX_NO"}},
    };
    discover();
    for (const Case& c : cases) {
        io.lines.clear();
        icq.host.registry.remove("HKEY_CURRENT_USER", kPrefs, "Default Server Host");
        icq.host.registry.remove("HKEY_CURRENT_USER", kPrefs, "Default Server Port");
        if (c.host) {
            icq.host.registry.setString("HKEY_CURRENT_USER", kPrefs, "Default Server Host",
                                        "login.icq.com");
        }
        if (c.port) {
            icq.host.registry.setDword("HKEY_CURRENT_USER", kPrefs, "Default Server Port",
                                       c.portValue);
        }
        PasswordDialogAnswer answer("pw", true);
        ASSERT_EQ(run(), 0);
        const Lines settings = settingsSection();
        EXPECT_EQ(Lines(settings.begin(), settings.begin() + 2), c.expected) << c.portValue;
    }
}

TEST_F(ImportRun, WithoutRegistryNoServerKeysAndAnEmptySoundsSection) {
    discover();
    icq.host.arbiter.registry = nullptr;
    PasswordDialogAnswer answer("pw", true);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(
        settingsSection(),
        (Lines{"ICQ_USER_SETTINGS=ICQ_VQX_YES", "ICQ_USER_CONTACTS=ICQ_VQX_YES",
               "ICQ_APPEND_CONTACTS=ICQ_VQX_YES", "ICQ_SOUNDS_SETTINGS_PRESENT=ICQ_VQX_YES"}));
    const Lines tail(io.lines.end() - 3, io.lines.end());
    EXPECT_EQ(tail, (Lines{"begin ICQ_SOUNDS_SETTINGS", "end", "flush"}));
}

TEST_F(ImportRun, PageChoicesShapeTheRecord) {
    discover();
    showPage();
    plugin.optionsDlg->m_pOwnerPassword->setText("pw");
    click(widget<QCheckBox>("m_pHostServerSettings"));
    click(plugin.optionsDlg->m_pUserSettings);
    click(widget<QCheckBox>("m_pSoundSettings"));
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(settingsSection(),
              (Lines{"ICQ_USER_SETTINGS=ICQ_VQX_NO", "ICQ_USER_CONTACTS=ICQ_VQX_YES",
                     "ICQ_APPEND_CONTACTS=ICQ_VQX_YES", "ICQ_SOUNDS_SETTINGS_PRESENT=ICQ_VQX_NO"}));
    EXPECT_FALSE(hasSection("ICQ_OWNER"));
    EXPECT_FALSE(hasSection("ICQ_SOUNDS_SETTINGS"));
    EXPECT_TRUE(hasSection("CONTACTS"));
    EXPECT_STREQ(plugin.ownerUin, "111");
    EXPECT_EQ(icq.host.agent.steps, (std::vector<int>{5, 5, 5, 10, 10, 5, 10, 10}));
}

TEST_F(ImportRun, AppendFlagFollowsOverwriteAndTheContactsBox) {
    discover();
    showPage();
    plugin.optionsDlg->m_pOwnerPassword->setText("pw");
    auto* overwrite = widget<QCheckBox>("m_pOverwriteContacts");
    auto* contacts = plugin.optionsDlg->m_pImportContacts;
    auto flags = [&] {
        io.lines.clear();
        EXPECT_EQ(run(), 0);
        const Lines s = settingsSection();
        return Lines(s.begin() + 3, s.begin() + 5);
    };

    click(overwrite);
    EXPECT_EQ(flags(), (Lines{"ICQ_USER_CONTACTS=ICQ_VQX_YES", "ICQ_APPEND_CONTACTS=ICQ_VQX_NO"}));
    click(overwrite);
    click(contacts);
    EXPECT_EQ(flags(), (Lines{"ICQ_USER_CONTACTS=ICQ_VQX_NO", "ICQ_APPEND_CONTACTS=ICQ_VQX_YES"}));
    EXPECT_FALSE(hasSection("CONTACTS"));
    contacts->setEnabled(false);
    EXPECT_EQ(flags(), (Lines{"ICQ_USER_CONTACTS=ICQ_VQX_NO", "ICQ_APPEND_CONTACTS=ICQ_VQX_NO"}));
}

TEST_F(ImportRun, DefaultSoundsComeFromTheDefaultKey) {
    icq.host.registry.setString("HKEY_CURRENT_USER",
                                "Software\\Mirabilis\\ICQ\\DefaultPrefs\\Sounds\\", "ICQBell",
                                "C:\\Program Files\\ICQ\\Sounds\\bell.wav");
    discover();
    showPage();
    plugin.optionsDlg->m_pOwnerPassword->setText("pw");
    click(widget<QRadioButton>("m_pDefaultSounds"));
    EXPECT_EQ(run(), 0);
    const Lines tail(io.lines.end() - 5, io.lines.end());
    EXPECT_EQ(tail,
              (Lines{"begin ICQ_SOUNDS_SETTINGS", "PlaySound=ICQ_VQX_YES",
                     "file ICQBell=\"" + icq.dir.path() + "/Program Files/ICQ/Sounds/bell.wav\"",
                     "end", "flush"}));
}

TEST_F(ImportRun, MissingHostObjectsWriteNothing) {
    discover();
    for (int missing = 0; missing < 3; ++missing) {
        testsupport::FakeArbiter arbiter = icq.host.arbiter;
        if (missing == 0) {
            arbiter.agent = nullptr;
        } else if (missing == 1) {
            arbiter.tools = nullptr;
        }
        tarvex other(missing == 2 ? nullptr : &arbiter);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(other.activatePlugin(&io, 0), -1);
        ::testing::internal::GetCapturedStdout();
        EXPECT_TRUE(io.lines.empty());
    }
}

TEST_F(ImportRun, HandleFileQuotesTheConvertedPathWithItsBlanks) {
    plugin.HandleFile(&io, &icq.host.tools, "C:\\My Sounds\\new mail.wav", "ICQEMail");
    EXPECT_EQ(io.lines, Lines{"file ICQEMail=\"" + icq.dir.path() + "/My Sounds/new mail.wav\""});
}

} // namespace
} // namespace importtest
