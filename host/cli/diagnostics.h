#pragma once

#include "fdio.h"

namespace cli {

/// Where the plug-in's own diagnostic lines go: with --verbose a file in memory, whose lines
/// are shown on standard error by a DiagnosticsEcho; otherwise /dev/null.
vqrt::UniqueFd pluginOutput(bool verbose);

/// When it ends, shows on standard error what the plug-in wrote into the memory file `fd`
/// since it began, control characters escaped (its lines hold texts of the installation), and
/// empties the file. Does nothing for `fd` -1.
class DiagnosticsEcho {
public:
    explicit DiagnosticsEcho(int fd) : fd_(fd) {}
    ~DiagnosticsEcho();
    DiagnosticsEcho(const DiagnosticsEcho&) = delete;
    DiagnosticsEcho& operator=(const DiagnosticsEcho&) = delete;

private:
    int fd_;
};

} // namespace cli
