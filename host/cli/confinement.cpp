#include "confinement.h"

#include <stdlib.h>

#include <iostream>

#include <QLibraryInfo>

#include "importplan.h"

namespace cli {

void confineImport(const Options& options, const std::string& outDir,
                   const std::string& scratchParent) {
    vqrt::ConfinementPlan plan = vqrt::importPlan(
        options.host, outDir, QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString());
    if (outDir.empty()) {
        plan.writeTrees.clear();
    }
    if (!scratchParent.empty()) {
        plan.removeDirTrees.push_back(scratchParent);
    }
    // Temporary files (a long history's message references, SQLite's large sorts) go where
    // the run may write.
    if (!outDir.empty()) {
        setenv("TMPDIR", outDir.c_str(), 1);
        setenv("SQLITE_TMPDIR", outDir.c_str(), 1);
    }
    const vqrt::Confinement confinement = vqrt::confineProcess(plan);
    if (options.verbose) {
        std::cerr << vqrt::confinementReport("tolvane-import", confinement, plan,
                                             "; going on with the path checks alone");
    }
}

} // namespace cli
