#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "info.h"

int main(int argc, char** argv) {
    CLI::App app{"tolvane-import: imports ICQ data from a mounted Windows installation"};
    app.name("tolvane-import");
    std::string pluginPath;
    std::string infoPath;
    std::string iconPath;
    auto* plugin =
        app.add_option("--plugin", pluginPath, "the plug-in library (default: the one installed "
                                               "beside this program)");
    auto* info = app.add_option("--info", infoPath,
                                "print the identity of a plug-in (PLUGIN.so, or --plugin) and "
                                "exit")
                     ->expected(0, 1);
    app.add_option("--icon", iconPath, "with --info: save the plug-in's icon as an XPM file")
        ->needs(info);
    (void)plugin;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }
    if (*info) {
        const std::string path =
            !infoPath.empty() ? infoPath : !pluginPath.empty() ? pluginPath : cli::defaultPluginPath();
        return cli::printPluginInfo(path, iconPath);
    }
    std::cerr << "tolvane-import: nothing to do (see --help)\n";
    return 2;
}
