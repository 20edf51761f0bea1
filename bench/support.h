#pragma once

// What the benchmark programs share: a scratch folder, a plain read of a file to compare
// with, a stopwatch and the output of a command.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {

constexpr uint64_t kMiB = 1024 * 1024;

/// Prints `what` and ends the program: a benchmark without its data measures nothing.
[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
}

/// `name` in a folder made in $TOLVANE_BENCH_DIR (default /tmp) on first use and removed with
/// all it holds at exit, unless TOLVANE_BENCH_KEEP is set (then named on standard error).
inline std::string scratch(const std::string& name) {
    struct Folder {
        std::string path;
        Folder() {
            const char* base = std::getenv("TOLVANE_BENCH_DIR");
            path = std::string(base != nullptr ? base : "/tmp") + "/tolvane-bench-XXXXXX";
            if (::mkdtemp(path.data()) == nullptr) {
                std::perror(path.c_str());
                std::exit(1);
            }
        }
        ~Folder() {
            std::error_code ec;
            if (std::getenv("TOLVANE_BENCH_KEEP") != nullptr) {
                std::fprintf(stderr, "files kept in %s\n", path.c_str());
            } else {
                std::filesystem::remove_all(path, ec);
            }
        }
    };
    static const Folder folder;
    return folder.path + "/" + name;
}

/// Reads the whole file with read(2) in blocks of 1 MiB; answers the bytes read.
inline uint64_t plainRead(const std::string& path) {
    std::vector<char> block(kMiB);
    uint64_t total = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    for (ssize_t got = 0; fd >= 0 && (got = ::read(fd, block.data(), block.size())) > 0;) {
        total += static_cast<uint64_t>(got);
        benchmark::DoNotOptimize(block.data());
    }
    ::close(fd);
    return total;
}

template <typename Work> double secondsOf(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The standard output of a shell command that succeeded; empty when it failed.
inline std::string commandOutput(const std::string& command) {
    std::fflush(stdout);
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char chunk[256];
    for (size_t got = 0; pipe != nullptr && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        out.append(chunk, got);
    }
    return pipe != nullptr && ::pclose(pipe) == 0 ? out : std::string();
}

} // namespace bench
