#pragma once

#include <optional>

#include "options.h"
#include "scratch.h"

namespace icq {

/// Confines the rest of the run with Landlock: reading the folders of the databases (where
/// links lead) and what the C library needs, writing only beneath the export's --out, which is
/// made first, or else in `scratch`, made here for the temporary files of a long history. With
/// --verbose prints the plan, or why the kernel does not enforce it.
void confineRun(const Options& o, std::optional<vqrt::ScratchFolder>& scratch);

} // namespace icq
