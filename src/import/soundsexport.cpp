#include "plugin/tarvex.h"

#include <cstring>
#include <string>

#include "dialogs/optionsdlg.h"
#include "vqrt/registryreader.h"
#include "vqrt/vantryio.h"

namespace {

// ICQ's sound events, in the order they are read and written.
const char* const kSoundEvents[] = {
    "ICQALAdmin",  "ICQALMessage",     "ICQALURL",      "ICQBackspace", "ICQBell",
    "ICQBirthday", "ICQChat",          "ICQChatAction", "ICQChatEmote", "ICQChatLOL",
    "ICQChatPage", "ICQContact",       "ICQEMail",      "ICQExternal",  "ICQFile",
    "ICQFtDone",   "ICQGeneralOnline", "ICQHomePage",   "ICQMessage",   "ICQMsgSent",
    "ICQNotify",   "ICQOnline",        "ICQPhone",      "ICQPicture",   "ICQPIN",
    "ICQPlugin",   "ICQReminder",      "ICQStartup",    "ICQSystem",    "ICQType",
    "ICQURL",      "ICQWebSearch"};
static_assert(sizeof kSoundEvents / sizeof kSoundEvents[0] == 32, "ICQ has 32 sound events");

const char* const kOwnersKey = "Software\\Mirabilis\\ICQ\\Owners\\";
const char* const kDefaultSoundsKey = "Software\\Mirabilis\\ICQ\\DefaultPrefs\\Sounds\\";

} // namespace

void tarvex::exportSounds(CBaseVantryIO* io, CRegistryReader* registry, CVantryTools* tools) {
    io->beginSection("ICQ_SOUNDS_SETTINGS");

    // The owner file's line end may still cling to the UIN when contacts were not exported.
    std::string uin = ownerUin;
    if (!uin.empty() && (uin.back() == '\r' || uin.back() == '\n')) {
        uin.pop_back();
    }

    // Sound paths are Windows paths (at most 260 characters); longer values are cut.
    char value[1024] = {};
    if (registry != nullptr) {
        const std::string prefsKey = kOwnersKey + uin + "\\Prefs\\";
        if (registry->readString("HKEY_CURRENT_USER", prefsKey.c_str(), "PlaySound", value,
                                 sizeof value) == 0 &&
            value[0] != '\0') {
            io->writeValue("PlaySound",
                           std::strcmp(value, "Yes") == 0 ? "ICQ_VQX_YES" : "ICQ_VQX_NO");
        }
        const std::string soundsKey = (optionsDlg == nullptr || optionsDlg->isPersonalSounds())
                                          ? kOwnersKey + uin + "\\Prefs\\Sounds\\"
                                          : std::string(kDefaultSoundsKey);
        for (const char* event : kSoundEvents) {
            if (registry->readString("HKEY_CURRENT_USER", soundsKey.c_str(), event, value,
                                     sizeof value) == 0 &&
                value[0] != '\0') {
                HandleFile(io, tools, value, event);
            }
        }
    }
    io->endSection();
}
