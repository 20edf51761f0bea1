#include "cli.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "installation.h"
#include "tolvane_config.h"

namespace mkwin {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// True when `path` is an existing folder with something in it.
bool isNonEmptyFolder(const std::string& path) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) {
        return false;
    }
    while (const dirent* entry = readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            return true;
        }
    }
    return false;
}

// The JSON of the file at `path`; nothing with one line in `error`.
std::optional<nlohmann::json> readDescription(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read the description (" + std::strerror(errno) + ")";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return nlohmann::json::parse(text.str());
    } catch (const nlohmann::json::parse_error& e) {
        // nlohmann's text starts with "[json.exception.parse_error.N] "; the rest says where.
        std::string what = e.what();
        const size_t bracket = what.find("] ");
        if (bracket != std::string::npos) {
            what = what.substr(bracket + 2);
        }
        error = path + ": not valid JSON (" + what + ")";
        return std::nullopt;
    }
}

} // namespace

int runMkwin(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"tolvane-mkwin: builds a sample Windows installation with ICQ from a JSON "
                 "description"};
    app.name("tolvane-mkwin");
    app.set_version_flag("--version", "tolvane-mkwin " TOLVANE_VERSION,
                         "print the program's name and version and exit");
    std::string descriptionPath;
    std::string outDir;
    std::string registry;
    bool force = false;
    bool printExpected = false;
    app.add_option("DESCRIPTION", descriptionPath, "the description (JSON)")->required();
    app.add_option("OUTDIR", outDir, "the folder that becomes drive C:");
    app.add_flag("--force", force,
                 "write into a folder that is not empty, replacing the files "
                 "the installation has");
    app.add_option("--registry", registry,
                   "write the registry as hives or as a .reg export, "
                   "whatever the description says")
        ->check(CLI::IsMember({"hive", "reg4", "reg5"}));
    std::string layout;
    app.add_option("--layout", layout,
                   "write the folders and registry of this Windows version, whatever the "
                   "description says")
        ->check(CLI::IsMember({"xp", "vista", "7", "nt", "98"}));
    app.add_flag("--print-expected", printExpected,
                 "print what an import finds (owners, contacts) as JSON; OUTDIR is optional");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e, out, err);
        }
        err << "tolvane-mkwin: " << e.what() << " (see --help)\n";
        return kMkwinBadArguments;
    }
    if (outDir.empty() && !printExpected) {
        err << "tolvane-mkwin: OUTDIR is required (see --help)\n";
        return kMkwinBadArguments;
    }

    std::string error;
    const std::optional<nlohmann::json> description = readDescription(descriptionPath, error);
    if (!description) {
        err << "tolvane-mkwin: " << error << "\n";
        return kMkwinBadArguments;
    }
    DescriptionOptions options;
    if (!registry.empty()) {
        options.registry = parseRegistryFormat(registry);
    }
    if (!layout.empty()) {
        options.layout = layout;
    }
    const std::optional<Installation> installation = parseDescription(*description, options, error);
    if (!installation) {
        err << "tolvane-mkwin: " << descriptionPath << ": " << error << "\n";
        return kMkwinBadArguments;
    }
    if (!outDir.empty()) {
        if (!force && isNonEmptyFolder(outDir)) {
            err << "tolvane-mkwin: " << outDir
                << ": the folder is not empty (use --force to write into it)\n";
            return kMkwinBadArguments;
        }
        if (!writeInstallation(*installation, outDir, error)) {
            err << "tolvane-mkwin: " << error << "\n";
            return kMkwinWriteFailed;
        }
    }
    if (printExpected) {
        nlohmann::ordered_json expected;
        if (!outDir.empty()) {
            expected["root"] = outDir;
        }
        expected.update(expectedImport(*installation));
        out << expected.dump(2) << "\n";
    }
    return kMkwinOk;
}

} // namespace mkwin
