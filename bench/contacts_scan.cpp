// The contact scan (CcontactsReader over CFileIO) on generated databases of 1, 16 and 256 MiB,
// beside a plain read of the same file (bench/README.md). With TOLVANE_SCAN_PEAK_FILE=<database>
// in the environment the program scans that file once and prints "<peak KiB> <seconds>
// <contacts>" instead; peak_rss_KiB and bench/import_run.py use it.

#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"

#include "icqdb.h"
#include "support.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <map>

namespace {

constexpr uint32_t kOwner = 4711;
constexpr const char* kPeakVariable = "TOLVANE_SCAN_PEAK_FILE";

struct Database {
    std::string path;
    uint64_t bytes = 0;
    size_t contacts = 0;
};

/// The database of about `mib` MiB, written on first use.
const Database& database(int64_t mib) {
    static std::map<int64_t, Database> files;
    const auto found = files.find(mib);
    if (found != files.end()) {
        return found->second;
    }
    // Contacts grow with the file: a heavy user has tens of thousands of records.
    const size_t contacts = mib <= 1 ? 300 : mib <= 16 ? 3000 : 20000;
    mkwin::IcqDatabaseContent content = mkwin::realisticIcqDatabase(
        kOwner, contacts, static_cast<uint64_t>(mib) * bench::kMiB, static_cast<unsigned>(mib));
    content.index = false; // the scan reads the .dat alone
    Database db{bench::scratch(std::to_string(mib) + ".dat"), 0,
                mkwin::expectedContacts(content).size()};
    std::string error;
    if (!mkwin::writeIcqDatabase(db.path, content, error)) {
        bench::fail(error);
    }
    db.bytes = std::filesystem::file_size(db.path);
    return files.emplace(mib, db).first->second;
}

// Sends standard output to /dev/null for its lifetime (the scan writes a line per contact and
// flushes it).
class StdoutToNull {
public:
    StdoutToNull() : saved_((std::fflush(stdout), ::dup(STDOUT_FILENO))) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~StdoutToNull() {
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
    StdoutToNull(const StdoutToNull&) = delete;
    StdoutToNull& operator=(const StdoutToNull&) = delete;

private:
    const int saved_;
};

void fillPlaceholders(CcontactsReader::contactStruct& c) {
    std::strcpy(c.firstName, "FirstName");
    std::strcpy(c.lastName, "LastName");
    std::strcpy(c.myDefinedHandle, "MyDefinedHandle");
    std::strcpy(c.nickName, "NickName");
    std::strcpy(c.primaryEmail, "PrimaryEmail");
    c.uin = -111;
}

/// The contacts export's loop, without the import record.
size_t scan(const std::string& path) {
    const StdoutToNull quiet;
    CFileIO file;
    file.openFile(path.c_str(), 1);
    CcontactsReader reader("4711\r");
    auto contact = std::make_unique<CcontactsReader::contactStruct>();
    size_t count = 0;
    for (fillPlaceholders(*contact); reader.readContact(&file, contact.get()) == 1;
         fillPlaceholders(*contact)) {
        ++count;
        benchmark::DoNotOptimize(contact->uin);
    }
    file.closeFile();
    return count;
}

void BM_PlainRead(benchmark::State& state) {
    const Database& db = database(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(bench::plainRead(db.path));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * db.bytes));
}

void BM_ContactsScan(benchmark::State& state) {
    const Database& db = database(state.range(0));
    double scanSeconds = 0;
    double plainSeconds = 0;
    size_t contacts = 0;
    for (auto _ : state) {
        const double scanned = bench::secondsOf([&] { contacts = scan(db.path); });
        state.SetIterationTime(scanned);
        scanSeconds += scanned;
        plainSeconds += bench::secondsOf([&] { bench::plainRead(db.path); });
    }
    if (contacts != db.contacts) {
        bench::fail("answered " + std::to_string(contacts) + " contacts, expected " +
                    std::to_string(db.contacts));
    }
    const double bytes = static_cast<double>(state.iterations() * db.bytes);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["plain_B_per_s"] = benchmark::Counter(
        bytes / plainSeconds, benchmark::Counter::kDefaults, benchmark::Counter::OneK::kIs1024);
    state.counters["ratio"] = scanSeconds / plainSeconds;
    state.counters["contacts"] = static_cast<double>(contacts);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    state.counters["peak_rss_KiB"] = std::atof(
        bench::commandOutput(std::string(kPeakVariable) + "='" + db.path + "' '" + self + "'")
            .c_str());
}

BENCHMARK(BM_PlainRead)->Arg(1)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactsScan)
    ->Arg(1)
    ->Arg(16)
    ->Arg(256)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The child that measures one scan does it before the benchmarks are even set up, prints its
// peak resident size (a child's ru_maxrss would include its parent's peak before exec) and
// leaves.
const bool kPeakChild = [] {
    const char* path = std::getenv(kPeakVariable);
    if (path == nullptr) {
        return false;
    }
    size_t contacts = 0;
    const double seconds = bench::secondsOf([&] { contacts = scan(path); });
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && line.rfind("VmHWM:", 0) != 0) {
    }
    std::printf("%ld %.6f %zu\n", std::atol(line.c_str() + 6), seconds, contacts);
    std::fflush(stdout);
    std::_Exit(0);
}();

} // namespace

BENCHMARK_MAIN();
