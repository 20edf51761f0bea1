#include "support/icqtree.h"

namespace testsupport {

std::string ownerFileText(const std::string& nickname, const std::string& uin,
                          const std::string& lineEnd) {
    return "[ICQ User]" + lineEnd + "NickName=" + nickname + lineEnd + "UIN=" + uin + lineEnd +
           "FirstName=First" + lineEnd;
}

IcqInstallation::IcqInstallation() : host(dir.path()) {}

void IcqInstallation::install(long version) {
    host.registry.setString("HKEY_LOCAL_MACHINE",
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "",
                            "C:\\Program Files\\ICQ\\ICQ.exe");
    if (version != 0) {
        host.registry.setDword("HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs",
                               "ICQ Version", version);
    }
}

void IcqInstallation::addOwner(const std::string& fileName, const std::string& nickname,
                               const std::string& uin, bool personalSounds,
                               const std::string& lineEnd) {
    writeFile(icqFile("uin/" + fileName), ownerFileText(nickname, uin, lineEnd));
    if (personalSounds) {
        host.registry.setString("HKEY_CURRENT_USER",
                                "Software\\Mirabilis\\ICQ\\Owners\\" + uin + "\\Prefs\\Sounds",
                                "ICQALAdmin", "C:\\Program Files\\ICQ\\Sounds\\admin.wav");
    }
}

std::string IcqInstallation::icqFile(const std::string& relative) const {
    return dir.path() + "/Program Files/ICQ/" + relative;
}

} // namespace testsupport
