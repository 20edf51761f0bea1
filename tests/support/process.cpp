#include "support/process.h"

#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

// A file in memory for one of the program's standard streams: no pipe to drain while it runs.
class MemoryFile {
public:
    explicit MemoryFile(const std::string& bytes = {})
        : fd_(memfd_create("testsupport", MFD_CLOEXEC)) {
        if (fd_ < 0 || write(fd_, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
            lseek(fd_, 0, SEEK_SET) != 0) {
            throw std::runtime_error(std::string("memory file: ") + std::strerror(errno));
        }
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int fd() const { return fd_; }
    std::string read() const {
        std::string bytes;
        char buffer[65536];
        for (ssize_t n; (n = pread(fd_, buffer, sizeof buffer, off_t(bytes.size()))) > 0;) {
            bytes.append(buffer, size_t(n));
        }
        return bytes;
    }

private:
    int fd_;
};

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& environment) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (environment.count(entry.substr(0, entry.find('='))) == 0) {
            env.push_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        env.push_back(name + "=" + value);
    }
    std::vector<char*> args;
    std::vector<char*> envp;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    for (const std::string& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    args.push_back(nullptr);
    envp.push_back(nullptr);

    const MemoryFile in(input), out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.fd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fd(), STDERR_FILENO);
    // A new session: the program has no controlling terminal, as in a script.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        throw std::runtime_error("cannot run " + argv[0] + ": " + std::strerror(rc));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out.read(),
            err.read()};
}

} // namespace testsupport
