#include "windowsinstall.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "casepath.h"
#include "fdio.h"
#include "text/names.h"

namespace vqrt {

namespace {

// Profiles Windows keeps for itself; taken only when asked for by name.
constexpr const char* kSystemProfiles[] = {"default", "default user", "all users",
                                           "public",  "localservice", "networkservice"};

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

// The names in `dir` in byte order, without "." and "..".
std::vector<std::string> folderNames(const std::string& dir) {
    std::vector<std::string> names;
    UniqueDir handle(opendir(dir.c_str()));
    while (handle) {
        const dirent* entry = readdir(handle.get());
        if (entry == nullptr) {
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool isSystemProfile(const std::string& name) {
    const std::string lower = text::foldName(name);
    return std::any_of(std::begin(kSystemProfiles), std::end(kSystemProfiles),
                       [&](const char* s) { return lower == s; });
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
    if (UniqueDir(opendir(root.c_str())) == nullptr) {
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
    // Windows 95, 98 and ME keep their registry in SYSTEM.DAT and USER.DAT in the Windows
    // folder; they count only when no folder holds an NT hive (a disk that started both is
    // read as the NT one).
    std::vector<std::string> dirs;
    for (const char* name : {"Windows", "WINNT"}) {
        if (const std::optional<std::string> dir = findDir(root, base, name)) {
            dirs.push_back(*dir);
        }
    }
    for (const std::string& dir : dirs) {
        if (std::optional<std::string> hive = findFile(root, dir, "System32/config/SOFTWARE")) {
            found.windowsDir_ = dir;
            found.softwareHive_ = *hive;
            found.systemHive_ = findFile(root, dir, "System32/config/SYSTEM").value_or("");
            break;
        }
    }
    if (found.softwareHive_.empty() && !dirs.empty()) {
        found.windowsDir_ = dirs.front();
        found.softwareHive_ = findFile(root, dirs.front(), "SYSTEM.DAT").value_or("");
        found.win9x_ =
            !found.softwareHive_.empty() || findFile(root, dirs.front(), "USER.DAT").has_value();
    }
    if (found.win9x_) {
        found.findWin9xUsers();
    } else {
        found.findUsers(base);
    }
    std::stable_sort(found.users_.begin(), found.users_.end(),
                     [](const UserProfile& a, const UserProfile& b) {
                         return text::foldName(a.name) < text::foldName(b.name);
                     });

    if (found.softwareHive_.empty() && found.users_.empty()) {
        error = root + ": no Windows installation found (expected "
                       "Windows/System32/config/SOFTWARE or a user profile under Users or "
                       "Documents and Settings)";
        return std::nullopt;
    }
    return found;
}

void WindowsInstallation::findUsers(const std::string& base) {
    // Vista and later keep profiles in Users, XP in Documents and Settings.
    for (const char* folder : {"Users", "Documents and Settings"}) {
        if (const std::optional<std::string> dir = findDir(root_, base, folder)) {
            addProfiles(*dir, "NTUSER.DAT");
        }
    }
}

void WindowsInstallation::findWin9xUsers() {
    // With user profiles on, each user has a USER.DAT in Profiles and the Windows folder's is
    // the template for new ones; with them off, the Windows folder's is everybody's.
    if (const std::optional<std::string> dir = findDir(root_, windowsDir_, "Profiles")) {
        addProfiles(*dir, "USER.DAT");
    }
    if (const std::optional<std::string> hive = findFile(root_, windowsDir_, "USER.DAT")) {
        (users_.empty() ? users_ : systemProfiles_)
            .push_back(UserProfile{kWin9xDefaultUser, windowsDir_, *hive});
    }
}

void WindowsInstallation::addProfiles(const std::string& dir, const char* hiveName) {
    for (const std::string& name : folderNames(dir)) {
        const std::string profileDir = dir + "/" + name;
        if (!isDir(profileDir)) {
            continue;
        }
        const std::optional<std::string> hive = findFile(root_, profileDir, hiveName);
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
    const std::string expected =
        win9x_ ? "a profile with USER.DAT under " + windowsDir_.substr(windowsDir_.rfind('/') + 1) +
                     "/Profiles"
               : std::string("a profile with NTUSER.DAT under Users or Documents and Settings");
    error = root_ + ": no user \"" + wanted + "\" (expected " + expected +
            ", found: " + (users_.empty() ? std::string("none") : userList()) + ")";
    return false;
}

} // namespace vqrt
