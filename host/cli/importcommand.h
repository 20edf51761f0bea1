#pragma once

#include "options.h"

namespace cli {

/// Lists the owners or runs one import as the options say; answers the exit status.
int runImport(const Options& options);

} // namespace cli
