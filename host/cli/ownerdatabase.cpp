#include "ownerdatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "fdio.h"
#include "ini/inireader.h"
#include "vqrt/arbiter.h"
#include "vqrt/filefinder.h"
#include "vqrt/registryreader.h"
#include "vqrt/vantrynode.h"
#include "vqrt/vantrytools.h"

namespace cli {

namespace {

const char* const kAppPathKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";
const char* const kDefaultPrefsKey = "Software\\Mirabilis\\ICQ\\DefaultPrefs";
const long kLastVersionWithDb99b = 319;
// The folder named by the version first, then these in this order.
const char* const kOtherDatabaseFolders[] = {"2003a", "2002a", "2001a", "2000b",
                                             "2000a", "Db99b", "NewDB"};
// The plug-in keeps folders and paths in buffers of this size, terminator included.
const size_t kPathSize = 256;

// A value of the owner file's "ICQ User" section, read into a buffer of the plug-in's size.
std::string ownerValue(CIniReader& owner, const char* key) {
    char value[128] = {};
    owner.GetKeyVal("ICQ User", key, value, sizeof value - 1);
    return value;
}

// The local folder of the owner files, empty when the plug-in would have none.
std::string ownerFolder(CArbiter& host, long& version) {
    CRegistryReader* registry = host.getRegistry();
    CVantryTools* tools = host.getTools();
    char appPath[1024] = {};
    if (registry == nullptr || tools == nullptr ||
        registry->readString("HKEY_LOCAL_MACHINE", kAppPathKey, "", appPath, sizeof appPath) != 0) {
        return {};
    }
    if (registry->readDword("HKEY_CURRENT_USER", kDefaultPrefsKey, "ICQ Version", &version) != 0) {
        version = kLastVersionWithDb99b;
    }
    std::string icqFolder = appPath;
    icqFolder = icqFolder.substr(0, std::min(icqFolder.size(), icqFolder.rfind('\\')));
    const std::string windows = icqFolder + "\\uin";
    if (icqFolder.size() >= kPathSize || windows.size() >= kPathSize) {
        return {};
    }
    std::string local;
    tools->convertPath(windows, local);
    return local.size() < kPathSize ? local : std::string();
}

// The UIN of an owner file without one trailing line end, as the plug-in takes it.
std::string withoutLineEnd(std::string uin) {
    if (!uin.empty() && (uin.back() == '\n' || uin.back() == '\r')) {
        uin.pop_back();
    }
    return uin;
}

// `parent/folder/uin.dat`, empty when it does not fit the plug-in's buffer.
std::string databasePath(const std::string& parent, const char* folder, const std::string& uin) {
    const std::string path = parent + "/" + folder + "/" + uin + ".dat";
    return path.size() < kPathSize ? path : std::string();
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Why the plug-in cannot read `path`; empty when it can.
std::string readProblem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return "it is not a regular file";
    }
    const vqrt::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    return fd ? std::string() : std::strerror(errno);
}

} // namespace

std::vector<OwnerFile> findOwnerFiles(CArbiter& host) {
    long version = kLastVersionWithDb99b;
    const std::string folder = ownerFolder(host, version);
    CFileFinder* finder = host.getFinder(3);
    std::vector<OwnerFile> owners;
    if (folder.empty() || finder == nullptr) {
        return owners;
    }
    finder->setDirectory(folder);
    finder->setExtension(".uin");
    std::vector<VQ::CVantryNode*> nodes;
    for (VQ::CVantryNode* node : finder->search(nodes, false)) {
        CIniReader file;
        if (node == nullptr || !node->isFile() || !file.LoadFromFile(node->getPath().c_str())) {
            continue;
        }
        OwnerFile owner{ownerValue(file, "NickName"), ownerValue(file, "UIN"), node->getPath()};
        if (owner.nickname.empty() || owner.uin.empty()) {
            continue;
        }
        owner.uin = withoutLineEnd(owner.uin);
        for (OwnerFile& earlier : owners) {
            earlier.reachable = earlier.reachable && earlier.nickname != owner.nickname;
        }
        owners.push_back(std::move(owner));
    }
    std::stable_sort(owners.begin(), owners.end(), [](const OwnerFile& a, const OwnerFile& b) {
        return a.nickname < b.nickname;
    });
    return owners;
}

OwnerDatabase findOwnerDatabase(CArbiter& host, const std::string& uin) {
    OwnerDatabase found;
    found.uin = uin;
    long version = kLastVersionWithDb99b;
    const std::string folder = ownerFolder(host, version);
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos) {
        found.problem = "the ICQ folder is not known";
        return found;
    }
    if (found.uin.find('/') != std::string::npos) {
        found.problem = "the owner's UIN \"" + found.uin + "\" would name another folder";
        return found;
    }
    const std::string parent = folder.substr(0, slash);
    found.path =
        databasePath(parent, version > kLastVersionWithDb99b ? "2000a" : "Db99b", found.uin);
    if (!found.path.empty() && !isRegularFile(found.path)) {
        for (const char* other : kOtherDatabaseFolders) {
            const std::string candidate = databasePath(parent, other, found.uin);
            if (isRegularFile(candidate)) {
                found.path = candidate;
                break;
            }
        }
    }
    found.found = isRegularFile(found.path);
    if (found.path.empty()) {
        found.problem = "its path would be longer than 255 bytes";
    }
    return found;
}

void checkOwnerDatabase(OwnerDatabase& database) {
    if (!database.path.empty()) {
        database.problem = readProblem(database.path);
    }
}

} // namespace cli
