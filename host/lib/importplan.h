#pragma once

#include <string>

#include "confine.h"

namespace vqrt {

struct HostOptions;

/// The plan of one import: runtimePlan(), the Windows root, the extra drives and the .reg
/// exports read, `qtPlugins` (Qt's plug-in folder) read, `outDir` written.
ConfinementPlan importPlan(const HostOptions& options, const std::string& outDir,
                           const std::string& qtPlugins);

} // namespace vqrt
