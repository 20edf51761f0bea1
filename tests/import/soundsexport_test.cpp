#include "runfixture.h"

namespace importtest {
namespace {

const std::string kOwnerSounds = std::string(kOwnerPrefs) + "Sounds\\";
const char* const kDefaultSounds = "Software\\Mirabilis\\ICQ\\DefaultPrefs\\Sounds\\";

class SoundsExport : public ImportRun {
protected:
    Lines sounds() {
        EXPECT_EQ(run(), 0);
        return section("ICQ_SOUNDS_SETTINGS");
    }
    /// Drops the owner's personal sounds and gives the default key a sound.
    void withoutPersonalSounds() {
        icq.addOwner("111.uin", "Rover", "111");
        icq.host.registry.remove("HKEY_CURRENT_USER",
                                 kOwnerSounds.substr(0, kOwnerSounds.size() - 1), "ICQALAdmin");
        icq.host.registry.setString("HKEY_CURRENT_USER", kDefaultSounds, "ICQBell",
                                    "C:\\Program Files\\ICQ\\Sounds\\bell.wav");
    }
};

TEST_F(SoundsExport, PlaySoundIsYesOnlyForExactlyYes) {
    discover();
    const std::string message = "file ICQMessage=" + sound("msg.wav");
    for (const auto& [value, expected] :
         {std::pair<const char*, Lines>{"Yes", {"PlaySound=ICQ_VQX_YES", message}},
          {"yes", {"PlaySound=ICQ_VQX_NO", message}},
          {"", {message}},
          {nullptr, {message}}}) {
        icq.host.registry.remove("HKEY_CURRENT_USER", kOwnerPrefs, "PlaySound");
        if (value != nullptr) {
            icq.host.registry.setString("HKEY_CURRENT_USER", kOwnerPrefs, "PlaySound", value);
        }
        EXPECT_EQ(sounds(), expected) << (value != nullptr ? value : "(missing)");
    }
}

TEST_F(SoundsExport, EventsComeInTableOrderAndOnlyWhenSet) {
    icq.host.registry.setString("HKEY_CURRENT_USER", kOwnerSounds, "ICQWebSearch",
                                "C:\\Program Files\\ICQ\\Sounds\\web.wav");
    icq.host.registry.setString("HKEY_CURRENT_USER", kOwnerSounds, "ICQALAdmin", "");
    discover();
    EXPECT_EQ(sounds(), (Lines{"PlaySound=ICQ_VQX_YES", "file ICQMessage=" + sound("msg.wav"),
                               "file ICQWebSearch=" + sound("web.wav")}));
    std::string asked;
    const std::string prefix = "readString HKEY_CURRENT_USER|" + kOwnerSounds + "|";
    for (const std::string& call : icq.host.log) {
        if (call.rfind(prefix, 0) == 0) {
            asked += call.substr(prefix.size()) + " ";
        }
    }
    EXPECT_EQ(asked, "ICQALAdmin ICQALMessage ICQALURL ICQBackspace ICQBell ICQBirthday ICQChat "
                     "ICQChatAction ICQChatEmote ICQChatLOL ICQChatPage ICQContact ICQEMail "
                     "ICQExternal ICQFile ICQFtDone ICQGeneralOnline ICQHomePage ICQMessage "
                     "ICQMsgSent ICQNotify ICQOnline ICQPhone ICQPicture ICQPIN ICQPlugin "
                     "ICQReminder ICQStartup ICQSystem ICQType ICQURL ICQWebSearch ");
}

// Without a page the owner's own sounds are taken, personal or not; on the page, an owner
// without personal sounds gets the default ones.
TEST_F(SoundsExport, PersonalOrDefaultSounds) {
    withoutPersonalSounds();
    discover();
    ASSERT_FALSE(plugin.profileMap.at("Rover")->soundsPresent);
    EXPECT_EQ(sounds(), (Lines{"PlaySound=ICQ_VQX_YES", "file ICQMessage=" + sound("msg.wav")}));
    showPage();
    EXPECT_EQ(sounds(), (Lines{"PlaySound=ICQ_VQX_YES", "file ICQBell=" + sound("bell.wav")}));
}

// The owner file's carriage return stays in the UIN when no contacts were exported.
TEST_F(SoundsExport, CrlfOwnerFileWithoutContactsFindsTheSameKeys) {
    icq.addOwner("111.uin", "Rover", "111", true, "\r\n");
    discover();
    showPage();
    plugin.optionsDlg->m_pImportContacts->click();
    EXPECT_EQ(sounds(), (Lines{"PlaySound=ICQ_VQX_YES", "file ICQMessage=" + sound("msg.wav")}));
    EXPECT_STREQ(plugin.ownerUin, "111\r");
    EXPECT_STREQ(plugin.contactsDbPath, "");
}

} // namespace
} // namespace importtest
