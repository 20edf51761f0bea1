#pragma once

#include <string>

#include "options.h"

namespace cli {

/// Confines the rest of the run with Landlock: reading the installation and what Qt and the C
/// library need, writing beneath `outDir` (nowhere when it is empty); with a non-empty
/// `scratchParent`, also removing the scratch folder `outDir` from it at the end. With
/// --verbose prints the plan, or why the kernel does not enforce it (the path checks then
/// stand alone).
void confineImport(const Options& options, const std::string& outDir,
                   const std::string& scratchParent);

} // namespace cli
