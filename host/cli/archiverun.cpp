#include "archiverun.h"

#include <sys/stat.h>

#include <cstring>
#include <iostream>
#include <optional>
#include <vector>

#include "archive/database.h"
#include "archive/exportall.h"
#include "archive/summary.h"
#include "ini/inireader.h"
#include "text/printable.h"
#include "vqrt/arbiter.h"
#include "vqrt/filefinder.h"
#include "vqrt/registryreader.h"
#include "vqrt/vantrytools.h"

namespace cli {

namespace {

// Where and how the plug-in finds an owner's database; see its discovery and contacts export.
const char* const kAppPathKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";
const char* const kDefaultPrefsKey = "Software\\Mirabilis\\ICQ\\DefaultPrefs";
const int32_t kVersionWhenUnknown = 319;
const int32_t kLastVersionWithDb99b = 319;
const char* const kOtherFolders[] = {"2003a", "2002a", "2001a", "2000b", "2000a", "Db99b", "NewDB"};
// The plug-in's path buffers, terminator included: a longer path is not used.
const size_t kPathSize = 256;
// The plug-in's buffer for owner-file values.
const int kValueSize = 128;

std::string labelled(const std::string& label, const std::string& value) {
    return text::padded(label, 11) + value + "\n";
}

std::string warn(const std::string& line) {
    std::cerr << "tolvane-import: warning: " << text::printable(line) << "\n";
    return line;
}

// The local owner folder and the ICQ version, as the plug-in's discovery finds them.
struct Installation {
    std::string ownerFolder;
    int32_t version = kVersionWhenUnknown;
};

std::optional<Installation> findInstallation(CArbiter& host) {
    CRegistryReader* registry = host.getRegistry();
    CVantryTools* tools = host.getTools();
    char appPath[1024] = {};
    if (registry == nullptr || tools == nullptr ||
        registry->readString("HKEY_LOCAL_MACHINE", kAppPathKey, "", appPath, sizeof appPath) != 0) {
        return std::nullopt;
    }
    Installation found;
    long version = 0;
    if (registry->readDword("HKEY_CURRENT_USER", kDefaultPrefsKey, "ICQ Version", &version) == 0) {
        found.version = static_cast<int32_t>(version);
    }
    if (char* lastBackslash = std::strrchr(appPath, '\\')) {
        *lastBackslash = '\0';
    }
    const std::string icqFolder = appPath;
    const std::string ownerFolder = icqFolder + "\\uin";
    if (icqFolder.size() >= kPathSize || ownerFolder.size() >= kPathSize) {
        return std::nullopt;
    }
    tools->convertPath(ownerFolder, found.ownerFolder);
    if (found.ownerFolder.size() >= kPathSize) {
        return std::nullopt;
    }
    return found;
}

std::string ownerValue(CIniReader& owner, const char* key) {
    char value[kValueSize] = {};
    if (!owner.GetKeyVal("ICQ User", key, value, sizeof value)) {
        return {};
    }
    return std::string(value, strnlen(value, sizeof value));
}

// The UIN of the owner file that the plug-in's owner list holds for `nickname`: the last one
// in name order with that nickname and a UIN, cut at its last carriage return.
std::string ownerUin(CArbiter& host, const std::string& ownerFolder, const std::string& nickname) {
    CFileFinder* finder = host.getFinder(3);
    if (finder == nullptr) {
        return {};
    }
    finder->setDirectory(ownerFolder);
    finder->setExtension(".uin");
    std::vector<VQ::CVantryNode*> request;
    std::string uin;
    for (VQ::CVantryNode* node : finder->search(request, false)) {
        CIniReader owner;
        if (node == nullptr || !node->isFile() || !owner.LoadFromFile(node->getPath().c_str())) {
            continue;
        }
        const std::string value = ownerValue(owner, "UIN");
        if (!value.empty() && ownerValue(owner, "NickName") == nickname) {
            uin = value.substr(0, value.rfind('\r'));
        }
    }
    return uin;
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The database the plug-in's contacts export opens; empty when there is none.
std::string databasePath(const Installation& icq, const std::string& uin) {
    const size_t slash = icq.ownerFolder.rfind('/');
    if (slash == std::string::npos || uin.empty() || uin.find('/') != std::string::npos) {
        return {};
    }
    const auto path = [&](const char* folder) {
        return icq.ownerFolder.substr(0, slash) + "/" + folder + "/" + uin + ".dat";
    };
    // A first path that does not fit leaves the plug-in without any.
    const std::string first = path(icq.version > kLastVersionWithDb99b ? "2000a" : "Db99b");
    if (first.size() >= kPathSize) {
        return {};
    }
    if (isRegularFile(first)) {
        return first;
    }
    for (const char* folder : kOtherFolders) {
        const std::string candidate = path(folder);
        if (candidate.size() < kPathSize && isRegularFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

} // namespace

std::string writeArchive(CArbiter& host, const std::string& nickname, const std::string& codepage,
                         const ArchiveOptions& options, const std::string& outDir) {
    if (!options.enabled) {
        return labelled("Archive:", "not written (--no-archive)");
    }
    const std::optional<Installation> icq = findInstallation(host);
    const std::string uin = icq ? ownerUin(host, icq->ownerFolder, nickname) : std::string();
    const std::string path = icq ? databasePath(*icq, uin) : std::string();
    if (path.empty()) {
        const std::string owner = uin.empty() ? "the owner" : "UIN " + uin;
        return labelled("Archive:", text::printable(warn("no contact database of " + owner +
                                                         " found, so no archive is written")));
    }

    archive::Settings settings;
    settings.codepage = codepage;
    settings.timeZone = options.timeZone;
    settings.timeOffset = options.timeOffset;
    settings.useIndex = options.useIndex;
    std::string error;
    const std::unique_ptr<archive::Database> db = archive::Database::open(path, settings, error);
    archive::Archive read;
    archive::ExportResult result;
    if (db) {
        archive::fillArchive(*db, read);
        archive::ExportOptions exportOptions;
        exportOptions.allContacts = options.allContacts;
        result = archive::exportAll(read, outDir, exportOptions);
        error = result.error;
    }
    if (!error.empty()) {
        warn(error);
        return labelled("Archive:", "not written (" + text::printable(path) +
                                        (db ? " could not be exported" : " could not be read") +
                                        ", see the warning above)");
    }
    return labelled("Archive:", text::printable(path) + " (ICQ " + db->version() + ")") +
           archive::exportSummary(read, result, "  ");
}

} // namespace cli
