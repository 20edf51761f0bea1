#pragma once

#include <string>

namespace cli {

/// Prints the identity of the plug-in at `pluginPath` and, when `iconPath` is not empty, saves
/// its icon there. Answers the exit status: 0, or 2 with one line on standard error.
int printPluginInfo(const std::string& pluginPath, const std::string& iconPath);

/// The plug-in next to this program: installed (../lib/tolvane/plugins) or in the build tree.
std::string defaultPluginPath();

} // namespace cli
