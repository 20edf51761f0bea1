#include "windowsinstall.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "casepath.h"
#include "text/names.h"

namespace vqrt {

namespace {

// Profiles Windows keeps for itself; taken only when asked for by name.
constexpr const char* kSystemProfiles[] = {"default", "default user", "all users",
                                           "public",  "localservice", "networkservice"};

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// Links are not followed: a junction on the volume (Vista's "Documents and Settings") points
// at folders scanned anyway, or outside the volume.
bool isDir(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A hive or profile is looked up inside the root only: a folder on the way that is a link out
// of it (System32 to a folder of this machine) leads nowhere.
std::optional<std::string> findDir(const std::string& root, const std::string& base,
                                   const std::string& relative) {
    std::optional<std::string> path = resolveInside(root, base, relative);
    return path && isDir(*path) ? path : std::nullopt;
}

std::optional<std::string> findFile(const std::string& root, const std::string& base,
                                    const std::string& relative) {
    std::optional<std::string> path = resolveInside(root, base, relative);
    return path && isFile(*path) ? path : std::nullopt;
}

bool isSystemProfile(const std::string& name) {
    const std::string lower = text::foldName(name);
    return std::any_of(std::begin(kSystemProfiles), std::end(kSystemProfiles),
                       [&](const char* s) { return lower == s; });
}

// Windows 95, 98 and ME keep their registry in SYSTEM.DAT and USER.DAT in the Windows folder,
// in a format of their own: ": a Windows 95, 98 or ME installation (...)", else empty.
std::string olderWindows(const std::string& root, const std::string& windowsDir) {
    std::vector<std::string> files;
    for (const char* name : {"SYSTEM.DAT", "USER.DAT"}) {
        if (const auto file = findFile(root, windowsDir, name)) {
            files.push_back(windowsDir.substr(windowsDir.rfind('/') + 1) + "/" +
                            file->substr(file->rfind('/') + 1));
        }
    }
    if (files.empty()) {
        return {};
    }
    std::string list;
    for (const std::string& file : files) {
        list += (list.empty() ? "" : ", ") + file;
    }
    return ": a Windows 95, 98 or ME installation (" + list +
           "), whose registry this program cannot read";
}

} // namespace

bool holdsWindowsFolder(const std::string& root) {
    return findDir(root, root, "Windows") || findDir(root, root, "WINNT");
}

std::optional<WindowsInstallation> WindowsInstallation::locate(const std::string& root,
                                                               std::string& error) {
    struct stat st;
    if (stat(root.c_str(), &st) != 0) {
        error = errno == ENOENT ? root + ": no such directory"
                                : root + ": cannot open (" + std::strerror(errno) + ")";
        return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = root + ": not a directory";
        return std::nullopt;
    }
    if (std::unique_ptr<DIR, DirCloser>(opendir(root.c_str())) == nullptr) {
        error = root + ": cannot read the directory (" + std::strerror(errno) + ")";
        return std::nullopt;
    }

    WindowsInstallation found;
    found.root_ = root;
    std::string base = root;
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    if (base == "/") {
        base.clear();
    }

    // XP and later use "Windows", 2000 and NT "WINNT"; the first that holds the hive wins.
    for (const char* name : {"Windows", "WINNT"}) {
        const std::optional<std::string> dir = findDir(root, base, name);
        if (!dir) {
            continue;
        }
        if (found.windowsDir_.empty()) {
            found.windowsDir_ = *dir;
        }
        if (std::optional<std::string> hive = findFile(root, *dir, "System32/config/SOFTWARE")) {
            found.windowsDir_ = *dir;
            found.softwareHive_ = *hive;
            found.systemHive_ = findFile(root, *dir, "System32/config/SYSTEM").value_or("");
            break;
        }
    }
    found.findUsers(base);

    if (found.softwareHive_.empty() && found.users_.empty()) {
        const std::string older =
            found.windowsDir_.empty() ? std::string() : olderWindows(root, found.windowsDir_);
        error = root + (older.empty() ? ": no Windows installation found (expected "
                                        "Windows/System32/config/SOFTWARE or a user profile "
                                        "under Users or Documents and Settings)"
                                      : older);
        return std::nullopt;
    }
    return found;
}

void WindowsInstallation::findUsers(const std::string& base) {
    // Vista and later keep profiles in Users, XP in Documents and Settings.
    for (const char* folder : {"Users", "Documents and Settings"}) {
        const std::optional<std::string> dir = findDir(root_, base, folder);
        if (!dir) {
            continue;
        }
        std::unique_ptr<DIR, DirCloser> handle(opendir(dir->c_str()));
        if (!handle) {
            continue;
        }
        std::vector<std::string> names;
        while (const dirent* entry = readdir(handle.get())) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string profileDir = *dir + "/" + name;
            if (!isDir(profileDir)) {
                continue;
            }
            const std::optional<std::string> hive = findFile(root_, profileDir, "NTUSER.DAT");
            if (!hive) {
                continue;
            }
            std::vector<UserProfile>& list = isSystemProfile(name) ? systemProfiles_ : users_;
            const std::string folded = text::foldName(name);
            const bool known = std::any_of(list.begin(), list.end(), [&](const UserProfile& p) {
                return text::foldName(p.name) == folded;
            });
            if (!known) {
                list.push_back(UserProfile{name, profileDir, *hive});
            }
        }
    }
    std::stable_sort(users_.begin(), users_.end(), [](const UserProfile& a, const UserProfile& b) {
        return text::foldName(a.name) < text::foldName(b.name);
    });
}

std::string WindowsInstallation::userList() const {
    std::string list;
    for (const UserProfile& user : users_) {
        list += (list.empty() ? "" : ", ") + user.name;
    }
    return list;
}

bool WindowsInstallation::chooseUser(const std::string& wanted, std::optional<UserProfile>& chosen,
                                     std::string& error) const {
    chosen.reset();
    if (wanted.empty()) {
        if (users_.size() > 1) {
            error = root_ + ": several users (" + userList() + "); choose one with --user NAME";
            return false;
        }
        if (!users_.empty()) {
            chosen = users_.front();
        }
        return true;
    }
    const std::string folded = text::foldName(wanted);
    for (const std::vector<UserProfile>* list : {&users_, &systemProfiles_}) {
        for (const UserProfile& user : *list) {
            if (text::foldName(user.name) == folded) {
                chosen = user;
                return true;
            }
        }
    }
    error = root_ + ": no user \"" + wanted +
            "\" (expected a profile with NTUSER.DAT under Users or Documents and Settings, "
            "found: " +
            (users_.empty() ? std::string("none") : userList()) + ")";
    return false;
}

} // namespace vqrt
