#include "importplan.h"

#include "hostsession.h"

namespace vqrt {

ConfinementPlan importPlan(const HostOptions& options, const std::string& outDir,
                           const std::string& qtPlugins) {
    ConfinementPlan plan = runtimePlan();
    plan.readTrees.push_back(options.windowsRoot);
    for (const auto& drive : options.drives) {
        plan.readTrees.push_back(drive.second);
    }
    if (!qtPlugins.empty()) {
        plan.readTrees.push_back(qtPlugins);
    }
    plan.readFiles.insert(plan.readFiles.end(), options.regFiles.begin(), options.regFiles.end());
    plan.writeTrees.push_back(outDir);
    return plan;
}

} // namespace vqrt
