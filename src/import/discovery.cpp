#include "plugin/tarvex.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "ini/inireader.h"
#include "vqrt/arbiter.h"
#include "vqrt/filefinder.h"
#include "vqrt/registryreader.h"
#include "vqrt/vantrytools.h"

namespace {

const char* const kAppPathKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";
const char* const kDefaultPrefsKey = "Software\\Mirabilis\\ICQ\\DefaultPrefs";
const int32_t kVersionWhenUnknown = 319;
// The owner folder in Windows form must fit a buffer of this size, terminator included.
const size_t kWindowsPathSize = 256;

// Copies `text` into a 256-byte member and tells whether it fit; a text that does not fit
// leaves it empty, because a cut directory would name some other folder.
bool storeDirectory(char (&member)[256], const std::string& text) {
    member[0] = '\0';
    if (text.size() >= sizeof member) {
        return false;
    }
    std::snprintf(member, sizeof member, "%s", text.c_str());
    return true;
}

} // namespace

void tarvex::storeProfile(const std::string& nickname, structProfileData* record) {
    structProfileData*& slot = profileMap[nickname];
    delete slot;
    slot = record;
}

void tarvex::clearProfiles() {
    for (auto& entry : profileMap) {
        delete entry.second;
        entry.second = nullptr;
    }
    profileMap.clear();
}

bool tarvex::checkDependency() {
    if (m_pArbiter == nullptr) {
        return false;
    }
    CRegistryReader* registry = m_pArbiter->getRegistry();
    if (registry == nullptr) {
        return false;
    }
    char appPath[1024] = {};
    if (registry->readString("HKEY_LOCAL_MACHINE", kAppPathKey, "", appPath, sizeof appPath) != 0) {
        return false;
    }
    long version = 0;
    if (registry->readDword("HKEY_CURRENT_USER", kDefaultPrefsKey, "ICQ Version", &version) == 0) {
        icqVersion = static_cast<int32_t>(version);
    } else {
        icqVersion = kVersionWhenUnknown;
    }
    const bool result = true;

    if (char* lastBackslash = std::strrchr(appPath, '\\')) {
        *lastBackslash = '\0';
    }
    std::cout << "\n --> " << appPath << std::flush;

    const bool icqDirFits = storeDirectory(icqDir, appPath);
    // Over-long directories are not cut into the name of some other folder: the owner folder
    // is then unknown and no owners are found. An empty ICQ folder still gives "\uin".
    const std::string ownerDirWindows = std::string(icqDir) + "\\uin";
    const bool ownerDirKnown = icqDirFits && ownerDirWindows.size() < kWindowsPathSize;

    uinDir[0] = '\0';
    if (CVantryTools* tools = m_pArbiter->getTools(); tools != nullptr && ownerDirKnown) {
        std::string local;
        tools->convertPath(ownerDirWindows, local);
        storeDirectory(uinDir, local);
    }

    std::vector<VQ::CVantryNode*> nodes;
    if (CFileFinder* finder = m_pArbiter->getFinder(3)) {
        finder->setDirectory(uinDir);
        finder->setExtension(".uin");
        std::vector<VQ::CVantryNode*> request;
        nodes = finder->search(request, false);
    }

    clearProfiles();
    for (VQ::CVantryNode* node : nodes) {
        if (node == nullptr || !node->isFile()) {
            continue;
        }
        const std::string path = node->getPath();
        CIniReader owner;
        if (!owner.LoadFromFile(path.c_str())) {
            continue;
        }
        bool valid = true;
        std::string nickname;
        bool soundsPresent = false;
        char value[128] = {};
        if (!owner.GetKeyVal("ICQ User", "NickName", value, sizeof value) || value[0] == '\0') {
            valid = false;
        } else {
            nickname = value;
        }
        std::memset(value, 0, sizeof value);
        if (!owner.GetKeyVal("ICQ User", "UIN", value, sizeof value) || value[0] == '\0') {
            valid = false;
        } else {
            const size_t length = std::strlen(value);
            if (value[length - 1] == '\n' || value[length - 1] == '\r') {
                value[length - 1] = '\0';
            }
            const std::string soundsKey =
                std::string("Software\\Mirabilis\\ICQ\\Owners\\") + value + "\\Prefs\\Sounds";
            if (registry->readString("HKEY_CURRENT_USER", soundsKey.c_str(), "ICQALAdmin", value,
                                     sizeof value) == 0 &&
                value[0] != '\0') {
                soundsPresent = true;
            }
        }
        if (valid) {
            storeProfile(nickname, new structProfileData(path, soundsPresent));
        }
    }
    return result;
}
