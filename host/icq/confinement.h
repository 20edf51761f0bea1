#pragma once

#include "options.h"

namespace icq {

/// Confines the rest of the run with Landlock: reading the folders of the databases (where
/// links lead) and what the C library needs, writing only beneath the export's --out, which is
/// made first. With --verbose prints the plan, or why the kernel does not enforce it.
void confineRun(const Options& o);

} // namespace icq
