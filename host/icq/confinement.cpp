#include "confinement.h"

#include <filesystem>
#include <iostream>

#include "confine.h"

namespace icq {

namespace fs = std::filesystem;

namespace {

// A folder given, or the folder of a file.
fs::path folderOf(const fs::path& path) {
    std::error_code ignored;
    const fs::path folder = fs::is_directory(path, ignored) ? path : path.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

} // namespace

void confineRun(const Options& o, std::optional<vqrt::ScratchFolder>& scratch) {
    vqrt::ConfinementPlan plan = vqrt::runtimePlan();
    for (const std::string& database : o.databases) {
        // The folder holds the .idx beside the data file, and the tables of a later ICQ that a
        // refusal names; a data file that is a link is read where it leads, its index where
        // the link is.
        std::error_code ec;
        const fs::path real = fs::canonical(database, ec);
        const fs::path given = folderOf(database);
        plan.readTrees.push_back(given.string());
        if (!ec && !fs::equivalent(given, folderOf(real), ec)) {
            plan.readTrees.push_back(folderOf(real).string());
        }
    }
    std::string temporary = o.out;
    if (o.command == Command::Export) {
        // Only a folder that is there can be written beneath; when it cannot be made, the
        // export says why.
        std::error_code ignored;
        fs::create_directories(o.out, ignored);
    } else {
        // Without one a long history's message references stay in memory.
        std::string unmade;
        scratch.emplace(unmade);
        temporary = scratch->path();
        if (!temporary.empty()) {
            plan.removeDirTrees.push_back(scratch->parent());
        }
    }
    if (!temporary.empty()) {
        plan.writeTrees.push_back(temporary);
        vqrt::keepTemporaryFilesIn(temporary);
    }
    const vqrt::Confinement confinement = vqrt::confineProcess(plan);
    if (o.verbose) {
        std::cerr << vqrt::confinementReport("tolvane-icq", confinement, plan);
    }
}

} // namespace icq
