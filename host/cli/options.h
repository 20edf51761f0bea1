#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archiverun.h"
#include "hostsession.h"

namespace cli {

/// Everything the command line says.
struct Options {
    vqrt::HostOptions host;
    /// --codepage was given: the installation's own code page is not suggested.
    bool codepageGiven = false;
    std::string out;
    /// --owner: a nickname or UIN; empty when not given (an empty --owner is refused).
    std::string owner;
    std::string passwordFile;
    bool passwordStdin = false;
    bool noServer = false;
    bool noUserSettings = false;
    bool noContacts = false;
    bool overwriteContacts = false;
    bool noSounds = false;
    bool defaultSounds = false;
    bool list = false;
    bool json = false;
    bool quiet = false;
    bool replace = false;
    bool verbose = false;
    bool debug = false;              ///< the plug-in's own lines and Qt's messages too
    bool pageStateStdin = false;     ///< the options page is set from a state on stdin
    bool progressLines = false;      ///< progress and messages as `progress D T`, `message TEXT`
    std::optional<std::string> info; ///< set with --info; empty text: the --plugin one
    std::string icon;
    std::string plugin;
    ArchiveOptions archive;
};

/// Parses the arguments. Answers nothing when the program is to end at once (help, or a bad
/// argument, already reported); `status` then holds the exit status.
std::optional<Options> parseOptions(int argc, char** argv, int& status);

} // namespace cli
