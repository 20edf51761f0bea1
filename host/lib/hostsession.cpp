#include "hostsession.h"

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <iostream>

#include "text/codepage.h"
#include "text/printable.h"

namespace vqrt {

namespace {

// Owner files are a few lines; a larger file is no owner file and is not read whole.
constexpr off_t kMaxListedFileSize = 1024 * 1024;

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Local paths handed to plug-ins and written into records are absolute.
HostOptions withAbsolutePaths(HostOptions options) {
    std::error_code ec;
    if (!options.windowsRoot.empty()) {
        options.windowsRoot =
            std::filesystem::absolute(options.windowsRoot, ec).lexically_normal().string();
    }
    for (auto& drive : options.drives) {
        drive.second = std::filesystem::absolute(drive.second, ec).lexically_normal().string();
    }
    return options;
}

bool checkOptions(const HostOptions& options, std::string& error) {
    if (options.windowsRoot.empty()) {
        error = "no Windows installation given (expected --windows-root DIR)";
        return false;
    }
    if (!isDirectory(options.windowsRoot)) {
        error = options.windowsRoot + ": not a directory (expected the root of a mounted "
                                      "Windows system volume)";
        return false;
    }
    if (!text::isKnownCodepage(options.codepage)) {
        error =
            "unknown code page " + options.codepage + " (expected an iconv name such as CP1252)";
        return false;
    }
    for (const auto& [letter, folder] : options.drives) {
        if (!isDirectory(folder)) {
            error = folder + ": not a directory (expected the folder of drive " + letter + ":)";
            return false;
        }
    }
    return true;
}

// The hives of the installation and of the user chosen in it.
struct Hives {
    HivePaths paths;
    std::optional<UserProfile> chosen;
};

bool findHives(const HostOptions& options, Hives& hives, std::string& error) {
    std::string locateError;
    const auto installation = WindowsInstallation::locate(options.windowsRoot, locateError);
    if (installation) {
        hives.paths.software = installation->softwareHive();
        hives.paths.system = installation->systemHive();
        hives.paths.win9x = installation->win9x();
        if (!installation->chooseUser(options.user, hives.chosen, error)) {
            return false;
        }
        if (hives.chosen) {
            hives.paths.user = hives.chosen->ntuserDat;
        }
        return true;
    }
    // A folder tree with no hives can still be imported when .reg exports describe it.
    if (options.regFiles.empty()) {
        error = locateError;
        return false;
    }
    if (!options.user.empty()) {
        error = options.windowsRoot + ": no user profiles (expected Users/" + options.user +
                "/NTUSER.DAT or Documents and Settings/" + options.user + "/NTUSER.DAT)";
        return false;
    }
    return true;
}

} // namespace

HostSession::HostSession(HostOptions options, std::unique_ptr<LayeredRegistry> registry,
                         std::optional<UserProfile> user, std::string softwareHive)
    : options_(std::move(options)), registry_(std::move(registry)), user_(std::move(user)),
      softwareHive_(std::move(softwareHive)), converter_(options_.windowsRoot, options_.drives) {
    std::vector<std::string> roots = {options_.windowsRoot};
    for (const auto& drive : options_.drives) {
        roots.push_back(drive.second);
    }
    finder_.confineTo(std::move(roots));
    finder_.limitFileSize(kMaxListedFileSize, [this](const std::string& line) {
        if (warn_) {
            warn_(line);
        } else {
            std::cerr << "warning: " << text::printable(line) << "\n";
        }
    });
}

std::unique_ptr<HostSession> HostSession::open(const HostOptions& given, std::string& error) {
    const HostOptions options = withAbsolutePaths(given);
    Hives hives;
    if (!checkOptions(options, error) || !findHives(options, hives, error)) {
        return nullptr;
    }
    auto registry = openHostRegistry(hives.paths, options.regFiles, options.codepage, error);
    if (!registry) {
        return nullptr;
    }
    return std::unique_ptr<HostSession>(new HostSession(
        options, std::move(registry), std::move(hives.chosen), std::move(hives.paths.software)));
}

bool parseDrive(const std::string& text, char& letter, std::string& folder, std::string& error) {
    const size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    const bool goodName = (name.size() == 1 || (name.size() == 2 && name[1] == ':')) &&
                          std::isalpha(static_cast<unsigned char>(name[0]));
    if (equals == std::string::npos || !goodName || equals + 1 == text.size()) {
        error = "--drive " + text + ": expected LETTER=DIR, such as D=/mnt/d";
        return false;
    }
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    if (letter == 'C') {
        error = "--drive " + text + ": drive C: is the Windows root (--windows-root)";
        return false;
    }
    folder = text.substr(equals + 1);
    return true;
}

} // namespace vqrt
