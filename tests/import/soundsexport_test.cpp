#include "runfixture.h"

namespace importtest {
namespace {

const char* const kOwnerPrefs = "Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\";
const char* const kOwnerSounds = "Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\Sounds\\";
const char* const kDefaultSounds = "Software\\Mirabilis\\ICQ\\DefaultPrefs\\Sounds\\";

class SoundsExport : public ImportRun {
protected:
    void setPlaySound(const char* value) {
        icq.host.registry.remove("HKEY_CURRENT_USER", kOwnerPrefs, "PlaySound");
        if (value != nullptr) {
            icq.host.registry.setString("HKEY_CURRENT_USER", kOwnerPrefs, "PlaySound", value);
        }
    }
    Lines sounds() {
        io.lines.clear();
        PasswordDialogAnswer answer("pw", true);
        EXPECT_EQ(run(), 0);
        return section("ICQ_SOUNDS_SETTINGS");
    }
    std::string localSound(const std::string& name) const {
        return "\"" + icq.dir.path() + "/Program Files/ICQ/Sounds/" + name + "\"";
    }
};

TEST_F(SoundsExport, PlaySoundIsYesOnlyForExactlyYes) {
    struct Case {
        const char* value;
        Lines expected;
    };
    discover();
    const std::string message = "file ICQMessage=" + localSound("msg.wav");
    for (const Case& c : {Case{"Yes", {"PlaySound=ICQ_VQX_YES", message}},
                          Case{"yes", {"PlaySound=ICQ_VQX_NO", message}},
                          Case{"No", {"PlaySound=ICQ_VQX_NO", message}}, Case{"", {message}},
                          Case{nullptr, {message}}}) {
        setPlaySound(c.value);
        EXPECT_EQ(sounds(), c.expected) << (c.value != nullptr ? c.value : "(missing)");
    }
}

TEST_F(SoundsExport, EventsComeInTableOrderAndOnlyWhenSet) {
    icq.host.registry.setString("HKEY_CURRENT_USER", kOwnerSounds, "ICQWebSearch",
                                "C:\\Program Files\\ICQ\\Sounds\\web.wav");
    icq.host.registry.setString("HKEY_CURRENT_USER", kOwnerSounds, "ICQALAdmin", "");
    discover();
    EXPECT_EQ(sounds(), (Lines{"PlaySound=ICQ_VQX_YES", "file ICQMessage=" + localSound("msg.wav"),
                               "file ICQWebSearch=" + localSound("web.wav")}));

    Lines asked;
    for (const std::string& call : icq.host.log) {
        const std::string prefix =
            std::string("readString HKEY_CURRENT_USER|") + kOwnerSounds + "|";
        if (call.rfind(prefix, 0) == 0) {
            asked.push_back(call.substr(prefix.size()));
        }
    }
    EXPECT_EQ(asked, (Lines{"ICQALAdmin",       "ICQALMessage", "ICQALURL",    "ICQBackspace",
                            "ICQBell",          "ICQBirthday",  "ICQChat",     "ICQChatAction",
                            "ICQChatEmote",     "ICQChatLOL",   "ICQChatPage", "ICQContact",
                            "ICQEMail",         "ICQExternal",  "ICQFile",     "ICQFtDone",
                            "ICQGeneralOnline", "ICQHomePage",  "ICQMessage",  "ICQMsgSent",
                            "ICQNotify",        "ICQOnline",    "ICQPhone",    "ICQPicture",
                            "ICQPIN",           "ICQPlugin",    "ICQReminder", "ICQStartup",
                            "ICQSystem",        "ICQType",      "ICQURL",      "ICQWebSearch"}));
}

TEST_F(SoundsExport, WithoutPageTheOwnersKeyIsUsedEvenWithoutPersonalSounds) {
    icq.addOwner("111.uin", "Rover", "111", false);
    icq.host.registry.remove("HKEY_CURRENT_USER",
                             "Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\Sounds", "ICQALAdmin");
    icq.host.registry.setString("HKEY_CURRENT_USER", kDefaultSounds, "ICQBell", "C:\\bell.wav");
    discover();
    ASSERT_FALSE(plugin.profileMap.at("Rover")->soundsPresent);
    EXPECT_EQ(sounds(),
              (Lines{"PlaySound=ICQ_VQX_YES", "file ICQMessage=" + localSound("msg.wav")}));
}

TEST_F(SoundsExport, PageWithoutPersonalSoundsUsesTheDefaultKey) {
    icq.addOwner("111.uin", "Rover", "111", false);
    icq.host.registry.remove("HKEY_CURRENT_USER",
                             "Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\Sounds", "ICQALAdmin");
    icq.host.registry.setString("HKEY_CURRENT_USER", kDefaultSounds, "ICQBell",
                                "C:\\Program Files\\ICQ\\Sounds\\bell.wav");
    discover();
    showPage();
    plugin.optionsDlg->m_pOwnerPassword->setText("pw");
    EXPECT_EQ(sounds(), (Lines{"PlaySound=ICQ_VQX_YES", "file ICQBell=" + localSound("bell.wav")}));
}

TEST_F(SoundsExport, CrlfOwnerFileFindsTheSameKeysWithoutContacts) {
    icq.addOwner("111.uin", "Rover", "111", true, "\r\n");
    discover();
    showPage();
    plugin.optionsDlg->m_pOwnerPassword->setText("pw");
    plugin.optionsDlg->m_pImportContacts->click();
    EXPECT_EQ(sounds(),
              (Lines{"PlaySound=ICQ_VQX_YES", "file ICQMessage=" + localSound("msg.wav")}));
    EXPECT_STREQ(plugin.ownerUin, "111\r");
}

TEST_F(SoundsExport, BlanksInSoundPathsAreKeptInOneQuotedValue) {
    icq.host.registry.setString("HKEY_CURRENT_USER", kOwnerSounds, "ICQMessage",
                                "C:\\Program Files\\ICQ\\My Sounds\\new message.wav");
    discover();
    EXPECT_EQ(sounds()[1], "file ICQMessage=\"" + icq.dir.path() +
                               "/Program Files/ICQ/My Sounds/new message.wav\"");
}

} // namespace
} // namespace importtest
