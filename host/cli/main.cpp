#include "importcommand.h"
#include "info.h"
#include "options.h"

int main(int argc, char** argv) {
    int status = 0;
    const auto options = cli::parseOptions(argc, argv, status);
    if (!options) {
        return status;
    }
    if (options->info) {
        const std::string path = !options->info->empty()    ? *options->info
                                 : !options->plugin.empty() ? options->plugin
                                                            : cli::defaultPluginPath();
        return cli::printPluginInfo(path, options->icon);
    }
    return cli::runImport(*options);
}
