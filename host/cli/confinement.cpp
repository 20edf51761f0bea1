#include "confinement.h"

#include <iostream>

#include <QLibraryInfo>

#include "importplan.h"
#include "scratch.h"

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
    if (!outDir.empty()) {
        vqrt::keepTemporaryFilesIn(outDir);
    }
    const vqrt::Confinement confinement = vqrt::confineProcess(plan);
    if (options.verbose) {
        std::cerr << vqrt::confinementReport("tolvane-import", confinement, plan,
                                             "; going on with the path checks alone");
    }
}

} // namespace cli
