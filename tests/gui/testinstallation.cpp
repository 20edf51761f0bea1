#include "testinstallation.h"

#include "emptyhive.h"
#include "support/tempdir.h"

namespace guitest {

namespace {

const char* const kPrefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs";

} // namespace

bool buildInstallation(const std::string& root, const InstallationSpec& spec, std::string& error) {
    testsupport::writeFile(root + "/Windows/System32/config/.keep", "");
    mkwin::HiveBuilder software(root + "/Windows/System32/config/SOFTWARE");
    if (spec.icqInstalled) {
        software.setString("Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "",
                           "C:\\Program Files\\ICQ\\ICQ.exe");
    } else {
        software.addKey("Microsoft\\Windows\\CurrentVersion\\App Paths\\notepad.exe");
    }
    if (!software.commit()) {
        error = software.error();
        return false;
    }
    for (size_t i = 0; i < spec.users.size(); ++i) {
        const std::string profile = root + "/Users/" + spec.users[i];
        testsupport::writeFile(profile + "/.keep", "");
        mkwin::HiveBuilder user(profile + "/NTUSER.DAT");
        user.addKey("Software\\Microsoft");
        if (i == 0 && spec.icqInstalled) {
            user.setDword(kPrefs, "ICQ Version", 2000);
            user.setString(kPrefs, "Default Server Host", "login.icq.com");
            user.setDword(kPrefs, "Default Server Port", 5190);
            for (const IcqOwner& owner : spec.owners) {
                const std::string key = "Software\\Mirabilis\\ICQ\\Owners\\" + owner.uin;
                user.setString(key + "\\Prefs", "PlaySound", "Yes");
                // A sound whose file is gone, as on real disks.
                user.setString(key + "\\Prefs\\Sounds", "ICQALAdmin",
                               "C:\\Program Files\\ICQ\\Sounds\\admin.wav");
                user.setString(key + "\\Prefs\\Sounds", "ICQMessage",
                               "C:\\Program Files\\ICQ\\Sounds\\msg.wav");
            }
        }
        if (!user.commit()) {
            error = user.error();
            return false;
        }
    }
    if (spec.icqInstalled) {
        testsupport::writeFile(root + "/Program Files/ICQ/ICQ.exe", "MZ");
        testsupport::writeFile(root + "/" + kSoundFile, kSoundBytes);
        testsupport::writeFile(root + "/Program Files/ICQ/uin/.keep", "");
    }
    for (const IcqOwner& owner : spec.owners) {
        testsupport::writeFile(root + "/Program Files/ICQ/uin/" + owner.uin + ".uin",
                               "[ICQ User]\nNickName=" + owner.nickname + "\nUIN=" + owner.uin +
                                   "\n");
    }
    return true;
}

} // namespace guitest
