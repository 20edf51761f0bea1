#pragma once

#include <functional>
#include <optional>
#include <streambuf>
#include <string>

namespace cli {

/// While it lives, whatever the process writes to standard output goes to `target` (a file
/// descriptor) instead; the plug-in's own diagnostic lines must not mix with the record.
class StdoutRedirect {
public:
    explicit StdoutRedirect(int target);
    ~StdoutRedirect();
    StdoutRedirect(const StdoutRedirect&) = delete;
    StdoutRedirect& operator=(const StdoutRedirect&) = delete;

private:
    int saved_;
};

/// While it lives, what is written through std::cout is dropped before it reaches any file, so
/// that the plug-in's line per contact costs no system call when nobody reads it.
class CoutDiscard {
public:
    CoutDiscard();
    ~CoutDiscard();
    CoutDiscard(const CoutDiscard&) = delete;
    CoutDiscard& operator=(const CoutDiscard&) = delete;

private:
    class NullBuffer : public std::streambuf {
    protected:
        int_type overflow(int_type c) override { return traits_type::not_eof(c); }
        std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
    };
    NullBuffer null_;
    std::streambuf* saved_;
};

/// True when the process can ask the person at the terminal.
bool haveTerminal();

/// Asks on the terminal without echo; nothing when there is no terminal, input ended, or
/// `interrupted` answers true after a signal broke the wait.
std::optional<std::string> promptPassword(const std::string& prompt,
                                          const std::function<bool()>& interrupted);

/// The first line of a file or of standard input, without its line end. Nothing (and one line
/// in `error`) when it cannot be read.
std::optional<std::string> readFirstLine(const std::string& path, std::string& error);
std::optional<std::string> readFirstLineOfStdin(std::string& error);

} // namespace cli
