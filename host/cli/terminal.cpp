#include "terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace cli {

namespace {

// A password line longer than this is not a password; reading stops there.
const size_t kMaxLine = 64 * 1024;

std::string withoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// Reads up to the first line end of `fd`.
std::optional<std::string> readLine(int fd, std::string& cause,
                                    const std::function<bool()>& interrupted = {}) {
    std::string line;
    char c;
    for (;;) {
        const ssize_t n = read(fd, &c, 1);
        if (n < 0) {
            if (errno == EINTR && !(interrupted && interrupted())) {
                continue;
            }
            cause = std::strerror(errno);
            return std::nullopt;
        }
        if (n == 0 || c == '\n') {
            return withoutLineEnd(line);
        }
        if (line.size() >= kMaxLine) {
            cause = "the first line is longer than 64 KiB";
            return std::nullopt;
        }
        line += c;
    }
}

} // namespace

StdoutRedirect::StdoutRedirect(int target) {
    std::cout.flush();
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) {
        dup2(target, STDOUT_FILENO);
    }
}

StdoutRedirect::~StdoutRedirect() {
    std::cout.flush();
    std::fflush(stdout);
    if (saved_ >= 0) {
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
}

CoutDiscard::CoutDiscard() {
    std::cout.flush();
    saved_ = std::cout.rdbuf(&null_);
}

CoutDiscard::~CoutDiscard() {
    std::cout.rdbuf(saved_);
}

bool haveTerminal() {
    const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return isatty(STDIN_FILENO) != 0;
}

std::optional<std::string> promptPassword(const std::string& prompt,
                                          const std::function<bool()>& interrupted) {
    const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    if (write(fd, prompt.data(), prompt.size()) < 0) {
        close(fd);
        return std::nullopt;
    }
    termios saved{};
    const bool canHide = tcgetattr(fd, &saved) == 0;
    if (canHide) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string cause;
    std::optional<std::string> line = readLine(fd, cause, interrupted);
    if (canHide) {
        tcsetattr(fd, TCSAFLUSH, &saved);
    }
    close(fd);
    return line;
}

std::optional<std::string> readFirstLine(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string cause;
    std::optional<std::string> line = readLine(fd, cause);
    close(fd);
    if (!line) {
        error = "cannot read the password file " + path + ": " + cause;
    }
    return line;
}

std::optional<std::string> readFirstLineOfStdin(std::string& error) {
    std::string cause;
    std::optional<std::string> line = readLine(STDIN_FILENO, cause);
    if (!line) {
        error = "cannot read the password from standard input: " + cause;
    }
    return line;
}

} // namespace cli
