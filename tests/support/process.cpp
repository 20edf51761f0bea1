#include "support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
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

// Everything `fd` gives until its end (or an error other than an interruption).
std::string readToEnd(int fd) {
    std::string bytes;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n > 0) {
            bytes.append(buffer, static_cast<size_t>(n));
        } else if (errno != EINTR) {
            break;
        }
    }
    return bytes;
}

// The exit status of `pid`, or 128 + the number of the signal that ended it.
int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A file of /proc; empty when its process ended before it was read (reading then fails with
// ESRCH, which the stream reports by throwing).
std::string procFile(const std::filesystem::path& path) {
    try {
        std::ifstream file(path);
        return std::string((std::istreambuf_iterator<char>(file)), {});
    } catch (const std::exception&) {
        return {};
    }
}

// The process of the group `group` that waits in a write to standard error; 0 when none does
// while others run, -1 when all have ended.
pid_t writerWaiting(pid_t group) {
    pid_t state = -1;
    const std::string writing = std::to_string(SYS_write) + " 0x2 ";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = procFile(entry.path() / "stat");
        // The fields after the command's name: state, parent, process group.
        std::istringstream fields(stat.substr(std::min(stat.rfind(')') + 1, stat.size())));
        char processState = 0;
        long parent = 0;
        long processGroup = 0;
        if (!(fields >> processState >> parent >> processGroup) || processGroup != group ||
            processState == 'Z') {
            continue;
        }
        const std::string syscall = procFile(entry.path() / "syscall");
        if (syscall.rfind(writing, 0) == 0) {
            return static_cast<pid_t>(std::stol(pid));
        }
        state = 0;
    }
    return state;
}

// Standard error as a pipe of one page, already so full that the program's writes beyond
// `room` bytes wait until it is read.
class NarrowPipe {
public:
    explicit NarrowPipe(size_t room) {
        if (pipe2(fd_, O_CLOEXEC) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
        const int page = fcntl(fd_[1], F_SETPIPE_SZ, 4096);
        if (page <= 0 || room >= static_cast<size_t>(page)) {
            throw std::runtime_error("cannot make a pipe that takes " + std::to_string(room) +
                                     " bytes");
        }
        filler_ = static_cast<size_t>(page) - room;
        const std::string zeros(filler_, '\0');
        if (write(fd_[1], zeros.data(), zeros.size()) != static_cast<ssize_t>(zeros.size())) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
    }
    ~NarrowPipe() {
        closeWriteEnd();
        close(fd_[0]);
    }
    NarrowPipe(const NarrowPipe&) = delete;
    NarrowPipe& operator=(const NarrowPipe&) = delete;
    int writeEnd() const { return fd_[1]; }
    void closeWriteEnd() {
        if (fd_[1] >= 0) {
            close(fd_[1]);
            fd_[1] = -1;
        }
    }
    /// What the program wrote, to its end.
    std::string readAll() {
        const std::string bytes = readToEnd(fd_[0]);
        return bytes.substr(std::min(filler_, bytes.size()));
    }

private:
    int fd_[2] = {-1, -1};
    size_t filler_ = 0;
};

// Sends `signal` once a process of the group `group` waits to write to standard error, to
// that process alone: a wrapper that passes signals on would send a second. Nothing when the
// group ends first.
void signalWaitingWriter(pid_t group, int signal) {
    for (pid_t writer; (writer = writerWaiting(group)) >= 0; usleep(2000)) {
        if (writer > 0) {
            kill(writer, signal);
            return;
        }
    }
}

// The process's environment with `environment` set in it.
std::vector<std::string> environmentWith(const std::map<std::string, std::string>& environment) {
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
    return env;
}

// A null-terminated array of pointers into `strings`, for exec.
std::vector<char*> pointers(const std::vector<std::string>& strings) {
    std::vector<char*> array;
    for (const std::string& s : strings) {
        array.push_back(const_cast<char*>(s.c_str()));
    }
    array.push_back(nullptr);
    return array;
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& environment,
                         const SignalAt& signalAt) {
    const std::vector<std::string> env = environmentWith(environment);
    std::vector<char*> args = pointers(argv);
    std::vector<char*> envp = pointers(env);

    const MemoryFile in(input), out, err;
    std::optional<NarrowPipe> narrow;
    if (signalAt.signal != 0) {
        narrow.emplace(signalAt.errBytes);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.fd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, narrow ? narrow->writeEnd() : err.fd(),
                                     STDERR_FILENO);
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
    std::string errText;
    if (narrow) {
        narrow->closeWriteEnd();
        signalWaitingWriter(pid, signalAt.signal);
        errText = narrow->readAll();
    }
    return {waitFor(pid), out.read(), narrow ? errText : err.read()};
}

ProcessResult runOnTerminal(const std::vector<std::string>& argv, const std::string& input,
                            const std::map<std::string, std::string>& environment) {
    const std::vector<std::string> env = environmentWith(environment);
    std::vector<char*> args = pointers(argv);
    std::vector<char*> envp = pointers(env);
    // No echo and no output processing: what the program writes comes back as it was.
    termios mode{};
    cfmakeraw(&mode);
    mode.c_lflag = ICANON;
    mode.c_iflag = ICRNL;
    mode.c_cflag = CS8 | CREAD;
    mode.c_cc[VEOF] = 4;
    mode.c_cc[VMIN] = 1;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, &mode, nullptr);
    if (pid < 0) {
        throw std::runtime_error(std::string("forkpty: ") + std::strerror(errno));
    }
    if (pid == 0) {
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    // The input, then the end of input (^D at the start of a line).
    const std::string typed = input + "\x04";
    if (write(terminal, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) {
        throw std::runtime_error(std::string("terminal: ") + std::strerror(errno));
    }
    // Reading ends with EIO once the program and its children have closed the terminal.
    const std::string out = readToEnd(terminal);
    close(terminal);
    return {waitFor(pid), out, ""};
}

std::string inChild(const std::function<std::string()>& run) {
    int answer[2];
    if (pipe2(answer, O_CLOEXEC) != 0) {
        return std::string("not run: pipe: ") + std::strerror(errno);
    }
    const pid_t pid = fork();
    if (pid < 0) {
        return std::string("not run: fork: ") + std::strerror(errno);
    }
    if (pid == 0) {
        const std::string text = run();
        const ssize_t written = write(answer[1], text.data(), text.size());
        _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(answer[1]);
    const std::string text = readToEnd(answer[0]);
    close(answer[0]);
    waitFor(pid);
    return text;
}

std::string asUnprivilegedUser(const std::function<std::string()>& check) {
    return inChild([&check] {
        const uid_t nobody = 65534;
        const bool dropped = geteuid() != 0 || (setgroups(0, nullptr) == 0 &&
                                                setresgid(nobody, nobody, nobody) == 0 &&
                                                setresuid(nobody, nobody, nobody) == 0);
        return dropped ? check()
                       : std::string("not run: cannot drop privileges: ") + std::strerror(errno);
    });
}

} // namespace testsupport
