#pragma once

#include <string>
#include <vector>

#include "hostsession.h"

namespace gui {

/// What the window is started with.
struct CommandLine {
    /// Windows root, user, .reg exports, drives and code page, as tolvane-import takes them.
    vqrt::HostOptions host;
    /// --codepage was given: it is kept whatever code page an installation's Windows used.
    bool codepageGiven = false;
    /// --plugin: plug-in libraries or folders holding them; empty for the default folders.
    std::vector<std::string> plugins;
    /// The tolvane-import that runs the imports; empty for the one beside this program.
    std::string importer;
    /// The tolvane-icq that reads an ICQ folder; empty for the one beside this program.
    std::string icqReader;
    /// --time-zone: the old machine's zone, an IANA name; empty for the one chosen last time.
    std::string timeZone;
    /// --deleted-folder: the history also holds the messages in ICQ's Deleted folder; else as
    /// chosen last time.
    bool deletedFolder = false;
    /// --open: a folder holding an import or ICQ archive saved earlier, shown at the start.
    std::string openFolder;
};

/// How parsing ended.
enum class ParseOutcome {
    Run,  ///< start the window
    Help, ///< `message` holds the help or version text; exit 0
    Error ///< `message` holds one line; exit 2
};

/// Reads the arguments (argv[0] is the program). Qt's own options are not taken here; Qt
/// reads its platform from the environment (QT_QPA_PLATFORM).
ParseOutcome parseCommandLine(int argc, const char* const* argv, CommandLine& options,
                              std::string& message);

/// The folders searched when no --plugin is given, relative to the folder of the program:
/// the installed plug-ins' folder (../lib/tolvane/plugins in the usual layout),
/// ../lib64/tolvane/plugins, and the build tree's.
std::vector<std::string> defaultPluginFolders(const std::string& programDir);

/// The plug-in libraries to load: each entry of `given` that is a file, and the shared
/// libraries ("*.so", "*.so.N...") in each entry that is a folder; without `given`, those in
/// `defaultFolders`. One path per library file (symbolic links to the same file count once),
/// in the order given and by name within a folder. A given path that does not exist is kept,
/// so that loading it reports why.
std::vector<std::string> findPlugins(const std::vector<std::string>& given,
                                     const std::vector<std::string>& defaultFolders);

/// The folder of the running program.
std::string programDir();

} // namespace gui
