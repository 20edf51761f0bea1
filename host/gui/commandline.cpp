#include "commandline.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include <CLI/CLI.hpp>

#include "tolvane_config.h"

namespace fs = std::filesystem;

namespace gui {

namespace {

// "libx.so", "libx.so.1", "libx.so.1.0.0": a shared library by name.
bool isSharedLibraryName(const std::string& name) {
    const size_t at = name.find(".so");
    if (at == std::string::npos || at == 0) {
        return false;
    }
    const std::string rest = name.substr(at + 3);
    return rest.empty() || (rest[0] == '.' && std::all_of(rest.begin(), rest.end(), [](char c) {
                                return c == '.' || std::isdigit(static_cast<unsigned char>(c));
                            }));
}

void addLibrary(const fs::path& path, std::vector<std::string>& found,
                std::set<std::string>& seen) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(path, ec);
    const std::string key = ec ? path.lexically_normal().string() : canonical.string();
    if (seen.insert(key).second) {
        found.push_back(path.lexically_normal().string());
    }
}

void scanFolder(const fs::path& folder, std::vector<std::string>& found,
                std::set<std::string>& seen) {
    std::error_code ec;
    std::vector<fs::path> names;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && isSharedLibraryName(it->path().filename().string())) {
            names.push_back(it->path());
        }
    }
    std::sort(names.begin(), names.end());
    for (const fs::path& name : names) {
        addLibrary(name, found, seen);
    }
}

} // namespace

ParseOutcome parseCommandLine(int argc, const char* const* argv, CommandLine& options,
                              std::string& message) {
    CLI::App app{"tolvane: imports settings from a mounted Windows installation, in a window"};
    app.name("tolvane");
    app.set_version_flag("--version", "tolvane " TOLVANE_VERSION,
                         "print the program's name and version and exit");
    std::vector<std::string> drives;
    app.add_option("--windows-root", options.host.windowsRoot,
                   "the folder where the Windows system drive (C:) is mounted, or an ICQ "
                   "folder, whose databases are then read on their own");
    app.add_option("--user", options.host.user,
                   "the Windows user whose settings are imported (when there are several)");
    app.add_option("--reg", options.host.regFiles,
                   "a .reg export read over the hives (repeatable; later ones win)");
    app.add_option("--drive", drives, "another drive letter and its folder, D=DIR (repeatable)");
    app.add_option("--codepage", options.host.codepage,
                   "the installation's ANSI code page, an iconv name (default: the one the "
                   "installation's Windows used, else the one chosen last time, at first "
                   "CP1252)");
    app.add_option("--time-zone", options.timeZone,
                   "the zone the old machine was in, an IANA name such as Europe/Stockholm: "
                   "the message history shows its times in it (default: the one chosen last "
                   "time, at first UTC)");
    app.add_flag("--deleted-folder", options.deletedFolder,
                 "the message history also holds the messages moved to ICQ's Deleted folder, "
                 "marked as such (default: as chosen last time, at first not)");
    app.add_option("--open", options.openFolder,
                   "a folder where an import or ICQ archive was saved (by an import, Save or "
                   "tolvane-icq export): its contacts, messages and sounds are shown at the start");
    app.add_option("--plugin", options.plugins,
                   "a plug-in library or a folder of them (repeatable; default: the plug-ins "
                   "installed beside this program)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        message = app.help();
        return ParseOutcome::Help;
    } catch (const CLI::CallForVersion& e) {
        message = std::string(e.what()) + "\n";
        return ParseOutcome::Help;
    } catch (const CLI::ParseError& e) {
        message = std::string("tolvane: ") + e.what() + " (see --help)";
        return ParseOutcome::Error;
    }
    options.codepageGiven = app.count("--codepage") > 0;
    for (const std::string& drive : drives) {
        char letter = 0;
        std::string folder;
        std::string error;
        if (!vqrt::parseDrive(drive, letter, folder, error)) {
            message = "tolvane: " + error;
            return ParseOutcome::Error;
        }
        options.host.drives[letter] = folder;
    }
    return ParseOutcome::Run;
}

std::vector<std::string> defaultPluginFolders(const std::string& programDir) {
    const fs::path dir(programDir);
    return {(dir / TOLVANE_PLUGIN_DIR_FROM_BIN).lexically_normal().string(),
            (dir / ".." / "lib64" / "tolvane" / "plugins").lexically_normal().string(),
            (dir / ".." / ".." / "src" / "plugin").lexically_normal().string()};
}

std::vector<std::string> findPlugins(const std::vector<std::string>& given,
                                     const std::vector<std::string>& defaultFolders) {
    std::vector<std::string> found;
    std::set<std::string> seen;
    if (given.empty()) {
        for (const std::string& folder : defaultFolders) {
            scanFolder(folder, found, seen);
        }
        return found;
    }
    for (const std::string& path : given) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            scanFolder(path, found, seen);
        } else {
            addLibrary(path, found, seen);
        }
    }
    return found;
}

std::string programDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec).string() : exe.parent_path().string();
}

} // namespace gui
