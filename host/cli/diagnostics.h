#pragma once

#include <string>

#include "fdio.h"

namespace cli {

/// How much the program tells a person besides its errors.
enum class Telling {
    Quiet,   ///< errors only
    Normal,  ///< warnings too
    Verbose, ///< and what the program reads and writes
};

/// Set once, from the command line, before anything is told.
void setTelling(Telling telling);

/// "tolvane-import: warning: LINE" on standard error, escaped, unless quiet.
void warn(const std::string& line);

/// "tolvane-import: LINE" on standard error, escaped, when verbose.
void tell(const std::string& line);

/// True when tell() prints.
bool verbose();

/// Where the plug-in's own diagnostic lines go: with --debug a file in memory, whose lines
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
