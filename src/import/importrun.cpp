#include "plugin/tarvex.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include <QByteArray>
#include <QCheckBox>
#include <QLineEdit>

#include "dialogs/optionsdlg.h"
#include "dialogs/passworddlg.h"
#include "icqdata/fileio.h"
#include "ini/inireader.h"
#include "vqrt/arbiter.h"
#include "vqrt/hostagent.h"
#include "vqrt/registryreader.h"
#include "vqrt/vantryio.h"
#include "vqrt/vantrytools.h"

namespace {

const char* const kYes = "ICQ_VQX_YES";
const char* const kNo = "ICQ_VQX_NO";
const char* const kServerKey = "Software\\Mirabilis\\ICQ\\DefaultPrefs\\";
const int kCancelled = 32;

const char* flag(bool on) {
    return on ? kYes : kNo;
}

// A terminated copy into a fixed buffer, cut to fit.
template <size_t N> void copyText(char (&buffer)[N], const char* text) {
    std::snprintf(buffer, N, "%s", text == nullptr ? "" : text);
}

QByteArray typedPassword(const COptionsDlg* dialog) {
    return dialog == nullptr ? QByteArray() : dialog->m_pOwnerPassword->text().toUtf8();
}

} // namespace

int32_t tarvex::activatePlugin(CBaseVantryIO* io, long) {
    CFileIO file;
    if (m_pArbiter == nullptr || io == nullptr) {
        return -1;
    }
    CHostAgent* agent = m_pArbiter->getAgent();
    if (agent == nullptr) {
        return -1;
    }
    CVantryTools* tools = m_pArbiter->getTools();
    if (tools == nullptr) {
        return -1;
    }

    char nickname[256] = {};
    char ownerFilePath[260] = {};
    char password[128] = {};
    char value[128] = {};

    auto failWithStatus = [&](const char* text) {
        agent->postMessage(agent->messageKind(0x6000, 50), text);
        io->beginSection("ICQ_FAILURE");
        io->writeValue("ICQ_VQX_STATUS", kYes);
        io->endSection();
        io->flush();
        return -1;
    };
    auto cancelled = [&](int blocks) { return agent->stepProgress(blocks) == kCancelled; };

    if (optionsDlg == nullptr || typedPassword(optionsDlg).isEmpty()) {
        std::unique_ptr<CPasswordDlg> ask(
            new CPasswordDlg(agent->getWidget(20, 0), nullptr, true, 0));
        if (ask->exec() == 0) {
            return failWithStatus("User password has not been set!");
        }
        copyText(password, ask->getPWD());
    }
    if (cancelled(5)) {
        return -1;
    }

    if (optionsDlg != nullptr) {
        optionsDlg->getSelectedProfile(nickname, sizeof nickname);
        if (nickname[0] == '\0') {
            return failWithStatus("No user profile has been set.");
        }
    } else {
        if (profileMap.empty()) {
            return failWithStatus("No user profile has been set.");
        }
        copyText(nickname, profileMap.begin()->first.c_str());
    }

    io->beginSection("ICQ_FAILURE");
    io->writeValue("ICQ_VQX_STATUS", kNo);
    io->endSection();

    const auto profile = profileMap.find(nickname);
    if (profile != profileMap.end() && profile->second != nullptr &&
        profile->second->uinFilePath.size() < sizeof ownerFilePath) {
        copyText(ownerFilePath, profile->second->uinFilePath.c_str());
    }
    if (cancelled(5)) {
        return -1;
    }

    CIniReader owner;
    if (!owner.LoadFromFile(ownerFilePath)) {
        agent->postMessage(agent->messageKind(0x6000, 50), "Error loading UIN file!");
    }
    if (cancelled(5)) {
        return -1;
    }

    io->beginSection("ICQ_IMPORTED_SETTINGS");
    CRegistryReader* registry = m_pArbiter->getRegistry();
    if (registry != nullptr && (optionsDlg == nullptr || optionsDlg->isImportHostServer())) {
        if (registry->readString("HKEY_CURRENT_USER", kServerKey, "Default Server Host", value,
                                 sizeof value) == 0) {
            io->writeValue("ICQ_HOST_SERVER_NAME", value);
        } else {
            io->writeValue("ICQ_HOST_SERVER_NAME", kNo);
        }
        long portValue = 0;
        if (registry->readDword("HKEY_CURRENT_USER", kServerKey, "Default Server Port",
                                &portValue) == 0) {
            const int32_t port = static_cast<int32_t>(portValue);
            char portText[16];
            std::snprintf(portText, sizeof portText, "%d", port);
            io->writeValue("ICQ_HOST_SERVER_PORT", portText);
        } else {
            io->writeValue("ICQ_HOST_SERVER_PORT", kNo);
        }
    }
    const bool userSettings = optionsDlg == nullptr || optionsDlg->m_pUserSettings->isChecked();
    const bool contacts = optionsDlg == nullptr || optionsDlg->m_pImportContacts->isChecked();
    io->writeValue("ICQ_USER_SETTINGS", flag(userSettings));
    io->writeValue("ICQ_USER_CONTACTS", flag(contacts));
    io->writeValue("ICQ_APPEND_CONTACTS",
                   flag(optionsDlg == nullptr || (!optionsDlg->isOverwriteContacts() &&
                                                  optionsDlg->m_pImportContacts->isEnabled())));
    io->writeValue("ICQ_SOUNDS_SETTINGS_PRESENT",
                   flag(optionsDlg == nullptr || optionsDlg->isImportSoundSettings()));
    io->endSection();

    std::memset(value, 0, sizeof value);
    owner.GetKeyVal("ICQ User", "UIN", value, sizeof value);
    copyText(ownerUin, value);
    if (userSettings) {
        io->beginSection("ICQ_OWNER");
        io->writeValue("UIN", value);
        std::memset(value, 0, sizeof value);
        owner.GetKeyVal("ICQ User", "NickName", value, sizeof value);
        io->writeValue("Nickname", value);
        if (cancelled(10)) {
            return -1;
        }
        const QByteArray typed = typedPassword(optionsDlg);
        io->writeValue("Password", typed.isEmpty() ? password : typed.constData());
        io->endSection();
    } else if (cancelled(10)) {
        return -1;
    }
    if (cancelled(10)) {
        return -1;
    }

    std::cout << "\n Hi5" << std::flush;

    if (contacts) {
        if (!exportContacts(io, agent, &file)) {
            return -1;
        }
    } else if (cancelled(5)) {
        return -1;
    }
    if (cancelled(10)) {
        return -1;
    }

    if (optionsDlg == nullptr || optionsDlg->isImportSoundSettings()) {
        exportSounds(io, registry, tools);
    }
    if (cancelled(10)) {
        return -1;
    }

    io->flush();
    return 0;
}

void tarvex::HandleFile(CBaseVantryIO* io, CVantryTools* tools, const char* windowsPath,
                        const char* key) {
    const std::string windows = windowsPath == nullptr ? "" : windowsPath;
    std::string local;
    if (tools != nullptr) {
        tools->convertPath(windows, local);
    }
    const std::string quoted = "\"" + local + "\"";
    io->writeFileValue(quoted.c_str(), key);
}
