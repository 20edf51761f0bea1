#include "hostsession.h"

#include <sys/stat.h>

#include <filesystem>

#include "text/codepage.h"

namespace vqrt {

namespace {

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

HostSession::HostSession(HostOptions options, std::unique_ptr<LayeredRegistry> registry,
                         std::optional<UserProfile> user)
    : options_(std::move(options)), registry_(std::move(registry)), user_(std::move(user)),
      converter_(options_.windowsRoot, options_.drives) {
    std::vector<std::string> roots = {options_.windowsRoot};
    for (const auto& drive : options_.drives) {
        roots.push_back(drive.second);
    }
    finder_.confineTo(std::move(roots));
}

std::unique_ptr<HostSession> HostSession::open(const HostOptions& given, std::string& error) {
    // Local paths handed to plug-ins and written into records are absolute.
    HostOptions options = given;
    std::error_code ec;
    if (!options.windowsRoot.empty()) {
        options.windowsRoot =
            std::filesystem::absolute(options.windowsRoot, ec).lexically_normal().string();
    }
    for (auto& drive : options.drives) {
        drive.second = std::filesystem::absolute(drive.second, ec).lexically_normal().string();
    }
    if (options.windowsRoot.empty()) {
        error = "no Windows installation given (expected --windows-root DIR)";
        return nullptr;
    }
    if (!isDirectory(options.windowsRoot)) {
        error = options.windowsRoot + ": not a directory (expected the root of a mounted "
                                      "Windows system volume)";
        return nullptr;
    }
    if (!text::isKnownCodepage(options.codepage)) {
        error =
            "unknown code page " + options.codepage + " (expected an iconv name such as CP1252)";
        return nullptr;
    }
    for (const auto& [letter, folder] : options.drives) {
        if (!isDirectory(folder)) {
            error = folder + ": not a directory (expected the folder of drive " + letter + ":)";
            return nullptr;
        }
    }

    std::string softwareHive;
    std::string userHive;
    std::optional<UserProfile> chosen;
    std::string locateError;
    const auto installation = WindowsInstallation::locate(options.windowsRoot, locateError);
    if (installation) {
        softwareHive = installation->softwareHive();
        if (!installation->chooseUser(options.user, chosen, error)) {
            return nullptr;
        }
        if (chosen) {
            userHive = chosen->ntuserDat;
        }
    } else if (options.regFiles.empty()) {
        // A folder tree with no hives can still be imported when .reg exports describe it.
        error = locateError;
        return nullptr;
    } else if (!options.user.empty()) {
        error = options.windowsRoot + ": no user profiles (expected Users/" + options.user +
                "/NTUSER.DAT or Documents and Settings/" + options.user + "/NTUSER.DAT)";
        return nullptr;
    }

    auto registry =
        openHostRegistry(softwareHive, userHive, options.regFiles, options.codepage, error);
    if (!registry) {
        return nullptr;
    }
    return std::unique_ptr<HostSession>(
        new HostSession(options, std::move(registry), std::move(chosen)));
}

} // namespace vqrt
