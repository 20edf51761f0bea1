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

/// A signal for a program's process group, sent as soon as its standard error holds `after`.
/// Until then standard error is read in small steps and then not at all until the signal is
/// sent, so a program that goes on writing there waits for the pipe (64 KiB) meanwhile.
struct SignalAt {
    std::string after;
    int signal = 0; ///< none when 0
};

/// Runs `argv` (argv[0] is the program's path) with `input` on standard input and the extra
/// environment variables, waits for it and collects both outputs.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::map<std::string, std::string>& environment = {},
                         const SignalAt& signalAt = {});

} // namespace testsupport
