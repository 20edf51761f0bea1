#pragma once

#include <ostream>

namespace mkwin {

/// Exit statuses of tolvane-mkwin.
enum MkwinStatus : int {
    kMkwinOk = 0,
    kMkwinWriteFailed = 1,  ///< a file or folder could not be written
    kMkwinBadArguments = 2, ///< bad command line or description
};

/// The tolvane-mkwin command: `tolvane-mkwin DESCRIPTION.json [OUTDIR] [--force]
/// [--registry hive|reg4|reg5] [--print-expected]`. Errors go to `err` as one line;
/// --print-expected writes JSON to `out`. Answers the exit status.
int runMkwin(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

} // namespace mkwin
