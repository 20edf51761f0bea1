#pragma once

#include <map>
#include <string>
#include <vector>

namespace testsupport {

/// What a finished program left behind.
struct ProcessResult {
    int status = -1; ///< exit status, or 128 + signal number
    std::string out; ///< standard output
    std::string err; ///< standard error
};

/// Runs `argv` (argv[0] is the program's path) with `input` on standard input and the extra
/// environment variables, waits for it and collects both outputs.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::map<std::string, std::string>& environment = {});

} // namespace testsupport
