#pragma once

#include <functional>
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
/// Until then standard error is read in small pieces, so a program that goes on writing there
/// is at most a pipe's size (64 KiB) past the text when the signal comes.
struct SignalAt {
    std::string after;
    int signal = 0; ///< none when 0
};

/// Runs `argv` (argv[0] is the program's path) with `input` on standard input and the extra
/// environment variables, waits for it and collects both outputs.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::map<std::string, std::string>& environment = {},
                         const SignalAt& signalAt = {});

/// Runs `check` in a child process whose user has no privileges, so that permission bits
/// count: user and group 65534 when the tests run as root, the tests' own user otherwise.
/// Answers what `check` answered, or "not run: " and why it could not run.
std::string asUnprivilegedUser(const std::function<std::string()>& check);

} // namespace testsupport
