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

/// A signal for a program, sent while it waits to write to its standard error: that pipe is
/// made to hold only `errBytes` more bytes (fewer than a page), so the signal comes inside the
/// first write there that goes beyond them, to whichever process of the program's group writes.
struct SignalAt {
    size_t errBytes = 0;
    int signal = 0; ///< none when 0
};

/// Runs `argv` (argv[0] is the program's path) with `input` on standard input and the extra
/// environment variables, waits for it and collects both outputs.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::map<std::string, std::string>& environment = {},
                         const SignalAt& signalAt = {});

/// Runs `argv` on a terminal of its own (a pseudo-terminal, without echo or output
/// processing) that is its standard input, output and error and its controlling terminal;
/// `input` is typed on it, then the end of input. Both outputs arrive in `out`.
ProcessResult runOnTerminal(const std::vector<std::string>& argv, const std::string& input,
                            const std::map<std::string, std::string>& environment = {});

/// Runs `run` in a forked child and answers what it answered, or "not run: " and why not.
std::string inChild(const std::function<std::string()>& run);

/// Runs `check` in a child process whose user has no privileges, so that permission bits
/// count: user and group 65534 when the tests run as root, the tests' own user otherwise.
/// Answers what `check` answered, or "not run: " and why it could not run.
std::string asUnprivilegedUser(const std::function<std::string()>& check);

} // namespace testsupport
