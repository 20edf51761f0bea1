#include "support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int end) {
        if (fd[end] >= 0) {
            close(fd[end]);
            fd[end] = -1;
        }
    }
};

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
        std::ifstream statFile(entry.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(statFile)), {});
        // The fields after the command's name: state, parent, process group.
        std::istringstream fields(stat.substr(std::min(stat.rfind(')') + 1, stat.size())));
        char processState = 0;
        long parent = 0;
        long processGroup = 0;
        if (!(fields >> processState >> parent >> processGroup) || processGroup != group ||
            processState == 'Z') {
            continue;
        }
        std::ifstream syscallFile(entry.path() / "syscall");
        std::string syscall((std::istreambuf_iterator<char>(syscallFile)), {});
        if (syscall.rfind(writing, 0) == 0) {
            return static_cast<pid_t>(std::stol(pid));
        }
        state = 0;
    }
    return state;
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& environment,
                         const SignalAt& signalAt) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (environment.count(name) == 0) {
            env.push_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        env.push_back(name + "=" + value);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);

    Pipe in, out, err;
    // A pipe of one page, already so full that the program's writes beyond errBytes wait.
    std::string filler;
    if (signalAt.signal != 0) {
        const int page = fcntl(err.fd[1], F_SETPIPE_SZ, 4096);
        filler.assign(static_cast<size_t>(std::max(page, 0)) - signalAt.errBytes, '\0');
        if (page <= 0 || signalAt.errBytes >= static_cast<size_t>(page) ||
            write(err.fd[1], filler.data(), filler.size()) != static_cast<ssize_t>(filler.size())) {
            throw std::runtime_error("cannot make a pipe that holds " +
                                     std::to_string(signalAt.errBytes) + " bytes");
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], STDERR_FILENO);
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
    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);

    ProcessResult result;
    size_t written = 0;
    if (input.empty()) {
        in.closeEnd(1);
    }
    signal(SIGPIPE, SIG_IGN);
    bool signalDue = signalAt.signal != 0;
    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        pollfd fds[3];
        nfds_t n = 0;
        if (out.fd[0] >= 0) {
            fds[n++] = {out.fd[0], POLLIN, 0};
        }
        if (err.fd[0] >= 0 && !signalDue) {
            fds[n++] = {err.fd[0], POLLIN, 0};
        }
        if (in.fd[1] >= 0) {
            fds[n++] = {in.fd[1], POLLOUT, 0};
        }
        if (poll(fds, n, signalDue ? 2 : -1) < 0 && errno != EINTR) {
            break;
        }
        // To the waiting process alone: a wrapper that passes signals on would send a second.
        if (signalDue) {
            const pid_t writer = writerWaiting(pid);
            if (writer > 0) {
                kill(writer, signalAt.signal);
            }
            signalDue = writer == 0;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (fds[i].fd == in.fd[1]) {
                const ssize_t w = write(in.fd[1], input.data() + written, input.size() - written);
                written += w > 0 ? static_cast<size_t>(w) : 0;
                if (w < 0 || written == input.size()) {
                    in.closeEnd(1);
                }
                continue;
            }
            char buffer[65536];
            const bool isOut = fds[i].fd == out.fd[0];
            const ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
            if (r <= 0) {
                (isOut ? out : err).closeEnd(0);
            } else {
                (isOut ? result.out : result.err).append(buffer, static_cast<size_t>(r));
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.err.erase(0, filler.size());
    return result;
}

std::string asUnprivilegedUser(const std::function<std::string()>& check) {
    Pipe answer;
    const pid_t pid = fork();
    if (pid < 0) {
        return std::string("not run: fork: ") + std::strerror(errno);
    }
    if (pid == 0) {
        const uid_t nobody = 65534;
        const bool dropped = geteuid() != 0 || (setgroups(0, nullptr) == 0 &&
                                                setresgid(nobody, nobody, nobody) == 0 &&
                                                setresuid(nobody, nobody, nobody) == 0);
        const std::string text =
            dropped ? check() : std::string("not run: cannot drop privileges: ") + strerror(errno);
        const ssize_t written = write(answer.fd[1], text.data(), text.size());
        _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    answer.closeEnd(1);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(answer.fd[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno != EINTR) {
            break;
        }
        text.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return text;
}

} // namespace testsupport
