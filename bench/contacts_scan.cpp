// The contact scan (CcontactsReader over CFileIO) on generated databases of 1, 16 and 256 MiB
// with framed records and message history, beside a plain sequential read of the same file
// (fread of 1 MiB blocks). The scan's standard output goes to /dev/null while it runs.
//
// Counters of BM_ContactsScan: bytes_per_second of the scan; plain_B_per_s of the plain reads
// interleaved with it; ratio = scan time / plain read time; contacts answered; peak_rss_KiB, the
// peak resident size (VmHWM) of a fresh process of this program that does one scan and nothing
// else.
//
// The databases are written once per run to $TOLVANE_BENCH_DIR (default /tmp) and removed at
// exit.
//
// With TOLVANE_SCAN_PEAK_FILE=<database> in the environment the program scans that file once
// (with the owner UIN 4711) and prints "<peak KiB> <seconds> <contacts>" instead; the peak
// measurement above and bench/import_run.py use it.

#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"

#include "icqdb.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kOwner = 4711;
constexpr const char* kOwnerText = "4711\r";
constexpr size_t kMiB = 1024 * 1024;

struct Database {
    std::string path;
    uint64_t bytes = 0;
    size_t expectedContacts = 0;
};

// Owns the generated files; removes them and their folder at exit.
class DatabaseCache {
public:
    ~DatabaseCache() {
        for (const auto& entry : files_) {
            std::remove(entry.second.path.c_str());
        }
        if (!folder_.empty()) {
            ::rmdir(folder_.c_str());
        }
    }

    /// The database of about `mib` MiB, written on first use; null with `error` set on failure.
    const Database* get(int64_t mib, std::string* error) {
        const auto found = files_.find(mib);
        if (found != files_.end()) {
            return &found->second;
        }
        if (folder_.empty() && !makeFolder(error)) {
            return nullptr;
        }
        // Contacts grow with the file: a heavy user has tens of thousands of records.
        const size_t contacts = mib <= 1 ? 300 : mib <= 16 ? 3000 : 20000;
        mkwin::IcqDatabaseContent content = mkwin::realisticIcqDatabase(
            kOwner, contacts, static_cast<uint64_t>(mib) * kMiB, static_cast<unsigned>(mib));
        content.index = false; // the scan reads the .dat alone
        Database db;
        db.path = folder_ + "/" + std::to_string(kOwner) + "-" + std::to_string(mib) + ".dat";
        if (!mkwin::writeIcqDatabase(db.path, content, *error)) {
            return nullptr;
        }
        db.expectedContacts = mkwin::expectedContacts(content).size();
        std::ifstream in(db.path, std::ios::binary | std::ios::ate);
        db.bytes = static_cast<uint64_t>(in.tellg());
        return &files_.emplace(mib, db).first->second;
    }

private:
    bool makeFolder(std::string* error) {
        const char* base = std::getenv("TOLVANE_BENCH_DIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/icqscan-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()) == nullptr) {
            *error = pattern + ": cannot create the folder: " + std::strerror(errno);
            return false;
        }
        folder_ = buffer.data();
        return true;
    }

    std::string folder_;
    std::map<int64_t, Database> files_;
};

DatabaseCache& cache() {
    static DatabaseCache instance;
    return instance;
}

// Sends standard output to /dev/null for its lifetime (the scan writes a line per contact).
class StdoutToNull {
public:
    StdoutToNull() {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::close(null);
        }
    }
    ~StdoutToNull() {
        std::cout.flush();
        std::fflush(stdout);
        if (saved_ >= 0) {
            ::dup2(saved_, STDOUT_FILENO);
            ::close(saved_);
        }
    }
    StdoutToNull(const StdoutToNull&) = delete;
    StdoutToNull& operator=(const StdoutToNull&) = delete;

private:
    int saved_;
};

using Contact = CcontactsReader::contactStruct;

void fillPlaceholders(Contact& c) {
    std::snprintf(c.firstName, sizeof c.firstName, "FirstName");
    std::snprintf(c.lastName, sizeof c.lastName, "LastName");
    std::snprintf(c.myDefinedHandle, sizeof c.myDefinedHandle, "MyDefinedHandle");
    std::snprintf(c.nickName, sizeof c.nickName, "NickName");
    std::snprintf(c.primaryEmail, sizeof c.primaryEmail, "PrimaryEmail");
    c.uin = -111;
}

/// The contacts export's loop, without the import record.
size_t scan(const std::string& path) {
    StdoutToNull quiet;
    CFileIO file;
    file.openFile(path.c_str(), 1);
    CcontactsReader reader(kOwnerText);
    auto contact = std::make_unique<Contact>();
    fillPlaceholders(*contact);
    size_t count = 0;
    while (reader.readContact(&file, contact.get()) == 1) {
        ++count;
        benchmark::DoNotOptimize(contact->uin);
        fillPlaceholders(*contact);
    }
    file.closeFile();
    return count;
}

/// Reads the whole file in blocks of 1 MiB; answers the bytes read.
uint64_t plainRead(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        return 0;
    }
    std::vector<char> block(kMiB);
    uint64_t total = 0;
    size_t got;
    while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        total += got;
        benchmark::DoNotOptimize(block.data());
    }
    return total;
}

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// A field of /proc/self/status in KiB, or -1.
long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::atol(line.c_str() + length + 1);
        }
    }
    return -1;
}

// Set in the environment of the child process that measures the peak memory of one scan.
constexpr const char* kPeakVariable = "TOLVANE_SCAN_PEAK_FILE";

/// The peak resident size, in KiB, of a fresh process of this program that scans `path` and
/// does nothing else; -1 when it cannot be run.
long scanPeakKiB(const std::string& path) {
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    int fds[2];
    if (length <= 0 || ::pipe(fds) != 0) {
        return -1;
    }
    self[length] = '\0';
    std::cout.flush();
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::setenv(kPeakVariable, path.c_str(), 1);
        char* const args[] = {self, nullptr};
        ::execv(self, args);
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string answer;
    char chunk[64];
    ssize_t got;
    while (child > 0 && (got = ::read(fds[0], chunk, sizeof chunk)) > 0) {
        answer.append(chunk, static_cast<size_t>(got));
    }
    ::close(fds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return std::atol(answer.c_str());
}

void BM_PlainRead(benchmark::State& state) {
    std::string error;
    const Database* db = cache().get(state.range(0), &error);
    if (db == nullptr) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(plainRead(db->path));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * db->bytes));
}

void BM_ContactsScan(benchmark::State& state) {
    std::string error;
    const Database* db = cache().get(state.range(0), &error);
    if (db == nullptr) {
        state.SkipWithError(error.c_str());
        return;
    }
    double scanSeconds = 0;
    double plainSeconds = 0;
    size_t contacts = 0;
    for (auto _ : state) {
        const double scanned = secondsOf([&] { contacts = scan(db->path); });
        state.SetIterationTime(scanned);
        scanSeconds += scanned;
        plainSeconds += secondsOf([&] { benchmark::DoNotOptimize(plainRead(db->path)); });
    }
    if (contacts != db->expectedContacts) {
        error = "answered " + std::to_string(contacts) + " contacts, expected " +
                std::to_string(db->expectedContacts);
        state.SkipWithError(error.c_str());
        return;
    }
    const double bytes = static_cast<double>(state.iterations() * db->bytes);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["plain_B_per_s"] = benchmark::Counter(
        bytes / plainSeconds, benchmark::Counter::kDefaults, benchmark::Counter::OneK::kIs1024);
    state.counters["ratio"] = scanSeconds / plainSeconds;
    state.counters["contacts"] = static_cast<double>(contacts);
    state.counters["peak_rss_KiB"] = static_cast<double>(scanPeakKiB(db->path));
}

BENCHMARK(BM_PlainRead)->Arg(1)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactsScan)
    ->Arg(1)
    ->Arg(16)
    ->Arg(256)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The child of scanPeakKiB does one scan before the benchmarks are even set up, prints its peak
// resident size and leaves.
const bool kPeakChild = [] {
    const char* path = std::getenv(kPeakVariable);
    if (path == nullptr) {
        return false;
    }
    size_t contacts = 0;
    const double seconds = secondsOf([&] { contacts = scan(path); });
    std::printf("%ld %.6f %zu\n", statusKiB("VmHWM"), seconds, contacts);
    std::fflush(stdout);
    std::_Exit(0);
}();

} // namespace

BENCHMARK_MAIN();
