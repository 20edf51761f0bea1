// The ICQ archive on a heavy user's database: 500 messages per MiB (150 000 in 300 MiB), in
// conversations with 3 000 contacts, Windows-1252 texts of about 2 KB. Beside a plain read of
// the file (read(2) in 1 MiB blocks) it measures:
//
// - BM_ReadEntries: Database::open and every message streamed in file order, what
//   `tolvane-icq info` does; ratio = its time / the plain read's.
// - BM_SqliteInsert: SQLite alone: the rows an export inserts (texts cleaned, times formatted
//   beforehand) into the messages table with its indexes, one transaction, no journal.
// - BM_Export: open and exportAll (vCard, CSV, history, SQLite, report) into a fresh folder;
//   budget_ratio = (export - SQLite alone) / plain read. other_MiB is what the export writes
//   besides the SQLite file (history/ above all), write_floor_ms the time write(2) alone
//   takes to put that many bytes into one file, 1 MiB at a time.
//
// peak_rss_MiB is the peak resident size (ru_maxrss) of `tolvane-icq info` and
// `tolvane-icq export` run as programs on the same database.
//
// The databases are written once per run to $TOLVANE_BENCH_DIR (default /tmp) and removed at
// exit, as are the export folders; with TOLVANE_BENCH_KEEP=1 the databases are kept (for a
// profiler) and their folder is named on standard error. The peaks are measured with
// /usr/bin/time, which gives the child's own peak (a child of this process would inherit the
// peak of this one across exec).

#include "archive/database.h"
#include "archive/exportall.h"
#include "archive/names.h"
#include "archive/text.h"
#include "archive/timefmt.h"

#include "icqdb.h"
#include "icqgen.h"

#include <algorithm>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kOwner = 4711;
constexpr size_t kMiB = 1024 * 1024;
constexpr uint64_t kMessagesPerMiB = 510;
constexpr size_t kContacts = 3000;

struct Database {
    std::string path;
    uint64_t bytes = 0;
    uint64_t messages = 0;
};

// The history: conversations of 2 to 24 messages, a few contacts taking most of them.
void addHistory(mkwin::IcqDatabaseContent& content, uint64_t count, unsigned seed) {
    mkwin::IcqRandom rng(seed);
    std::vector<uint32_t> uins;
    for (const mkwin::IcqContactRecord& c : content.contacts) {
        uins.push_back(c.uin);
    }
    uint32_t clock = 978307200;
    uint32_t left = 0;
    uint32_t partner = 0;
    content.messages.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        if (left == 0) {
            const uint32_t pick = rng.percent(70) ? rng.below(40) : rng.below(uins.size());
            partner = uins[pick];
            left = rng.between(2, 24);
            clock += rng.between(1800, 86400);
        }
        --left;
        mkwin::IcqMessage m;
        mkwin::IcqMessageFields& f = m.fields;
        f.uin = partner;
        f.sent = rng.percent(50);
        f.time = clock += rng.between(4, 240);
        f.deleted = rng.percent(2);
        const uint32_t roll = rng.below(100);
        if (roll < 8) {
            f.subtype = mkwin::kIcqSubtypeUrl;
            f.text = mkwin::icqWords(rng, rng.between(1, 6)) + "\xFEhttp://www." +
                     mkwin::icqNickName(rng) + ".com/index.html";
        } else {
            f.text = mkwin::icqWordsOfLength(rng, rng.between(300, 3960));
            f.longForm = roll < 12;
        }
        content.messages.push_back(std::move(m));
    }
}

// Owns the generated files; removes them and their folder at exit.
class DatabaseCache {
public:
    ~DatabaseCache() {
        if (std::getenv("TOLVANE_BENCH_KEEP") != nullptr) {
            std::fprintf(stderr, "databases kept in %s\n", folder_.c_str());
        } else if (!folder_.empty()) {
            std::error_code ec;
            fs::remove_all(folder_, ec);
        }
    }

    /// The database of about `mib` MiB, written on first use; null with `error` on failure.
    const Database* get(int64_t mib, std::string& error) {
        const auto found = files_.find(mib);
        if (found != files_.end()) {
            return &found->second;
        }
        if (folder_.empty() && !makeFolder(error)) {
            return nullptr;
        }
        mkwin::IcqDatabaseContent content =
            mkwin::realisticIcqDatabase(kOwner, kContacts, 0, static_cast<unsigned>(mib));
        addHistory(content, static_cast<uint64_t>(mib) * kMessagesPerMiB,
                   static_cast<unsigned>(mib));
        Database db;
        fs::create_directories(folder_ + "/" + std::to_string(mib));
        db.path = folder_ + "/" + std::to_string(mib) + "/" + std::to_string(kOwner) + ".dat";
        if (!mkwin::writeIcqDatabase(db.path, content, error)) {
            return nullptr;
        }
        db.bytes = fs::file_size(db.path);
        return &files_.emplace(mib, db).first->second;
    }

    /// A fresh path in the folder for an export.
    std::string scratch(const std::string& name) const { return folder_ + "/" + name; }

private:
    bool makeFolder(std::string& error) {
        const char* base = std::getenv("TOLVANE_BENCH_DIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/icqarchive-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            error = pattern + ": cannot create the folder (" + std::strerror(errno) + ")";
            return false;
        }
        folder_ = pattern;
        return true;
    }

    std::string folder_;
    std::map<int64_t, Database> files_;
};

DatabaseCache& cache() {
    static DatabaseCache instance;
    return instance;
}

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Reads the whole file in blocks of 1 MiB; answers the bytes read.
uint64_t plainRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> block(kMiB);
    uint64_t total = 0;
    ssize_t got;
    while (fd >= 0 && (got = ::read(fd, block.data(), block.size())) > 0) {
        total += static_cast<uint64_t>(got);
        benchmark::DoNotOptimize(block.data());
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return total;
}

std::unique_ptr<archive::Database> open(const Database& db, std::string& error) {
    return archive::Database::open(db.path, archive::Settings(), error);
}

/// Peak resident size in MiB of tolvane-icq run with `args`, as /usr/bin/time measures it; -1
/// when it fails.
double programPeakMiB(const std::vector<std::string>& args) {
    std::vector<std::string> words = {"/usr/bin/time", "-f", "%M", TOLVANE_ICQ};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[0]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string answer;
    char chunk[256];
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
    return std::atof(answer.c_str()) / 1024.0;
}

/// Writes `bytes` zero bytes to a new file at `path` in blocks of 1 MiB, then removes it.
void writeBytes(const std::string& path, uint64_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::vector<char> block(kMiB);
    for (uint64_t done = 0; fd >= 0 && done < bytes;) {
        const ssize_t n = ::write(fd, block.data(), std::min<uint64_t>(kMiB, bytes - done));
        if (n <= 0) {
            break;
        }
        done += static_cast<uint64_t>(n);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    std::remove(path.c_str());
}

/// The bytes of the files below `folder` other than the SQLite database.
uint64_t otherBytes(const std::string& folder) {
    uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename() != "icq-archive.sqlite") {
            bytes += entry.file_size();
        }
    }
    return bytes;
}

// One messages row as an export binds it.
struct Row {
    uint32_t uin;
    std::string direction, kind;
    uint16_t subtype;
    int64_t time;
    std::string iso, text, url, raw;
    uint32_t entryId;
    uint64_t offset;
};

std::vector<Row> rowsOf(const archive::Database& db) {
    std::vector<Row> rows;
    const archive::TimeZone zone;
    db.forEachMessageByContact([&](const archive::Message& m) {
        rows.push_back({m.uin, archive::directionName(m.direction), archive::kindName(m.kind),
                        m.subtype, m.time, zone.isoTime(m.time), archive::cleanText(m.text),
                        archive::cleanText(m.url), m.rawText, m.entryId, m.offset});
        return true;
    });
    return rows;
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

/// The rows into a fresh SQLite file as the export writes its messages table.
bool insertRows(const std::vector<Row>& rows, const std::string& path) {
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              exec(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN;") &&
              exec(db, "CREATE TABLE messages (id INTEGER PRIMARY KEY, uin INTEGER NOT NULL, "
                       "direction TEXT NOT NULL, kind TEXT NOT NULL, subtype INTEGER NOT NULL, "
                       "time_utc INTEGER NOT NULL, time TEXT NOT NULL, text TEXT NOT NULL, "
                       "url TEXT NOT NULL, raw_text BLOB NOT NULL, entry_id INTEGER NOT NULL, "
                       "file_offset INTEGER NOT NULL)");
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db,
                                  "INSERT INTO messages (uin, direction, kind, subtype, time_utc, "
                                  "time, text, url, raw_text, entry_id, file_offset) "
                                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                                  -1, &insert, nullptr) == SQLITE_OK;
    const auto text = [&](int column, const std::string& s) {
        sqlite3_bind_text(insert, column, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    };
    for (size_t i = 0; ok && i < rows.size(); ++i) {
        const Row& r = rows[i];
        sqlite3_bind_int64(insert, 1, r.uin);
        text(2, r.direction);
        text(3, r.kind);
        sqlite3_bind_int64(insert, 4, r.subtype);
        sqlite3_bind_int64(insert, 5, r.time);
        text(6, r.iso);
        text(7, r.text);
        text(8, r.url);
        sqlite3_bind_blob(insert, 9, r.raw.data(), static_cast<int>(r.raw.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 10, r.entryId);
        sqlite3_bind_int64(insert, 11, static_cast<sqlite3_int64>(r.offset));
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok && exec(db, "CREATE INDEX messages_by_contact ON messages (uin, time_utc); "
                        "CREATE INDEX messages_by_time ON messages (time_utc); COMMIT;");
    return sqlite3_close(db) == SQLITE_OK && ok;
}

// SQLite alone, measured before the export of the same size.
std::map<int64_t, double>& sqliteSeconds() {
    static std::map<int64_t, double> seconds;
    return seconds;
}

void BM_PlainRead(benchmark::State& state) {
    std::string error;
    const Database* db = cache().get(state.range(0), error);
    if (db == nullptr) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(plainRead(db->path));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * db->bytes));
    state.counters["file_MiB"] = static_cast<double>(db->bytes) / kMiB;
}

void BM_ReadEntries(benchmark::State& state) {
    std::string error;
    const Database* db = cache().get(state.range(0), error);
    if (db == nullptr) {
        state.SkipWithError(error.c_str());
        return;
    }
    double readSeconds = 0;
    double plainSeconds = 0;
    uint64_t messages = 0;
    for (auto _ : state) {
        const double read = secondsOf([&] {
            const auto opened = open(*db, error);
            messages = 0;
            if (opened) {
                opened->forEachMessage([&](const archive::Message& m) {
                    benchmark::DoNotOptimize(m.text.data());
                    ++messages;
                    return true;
                });
            }
        });
        state.SetIterationTime(read);
        readSeconds += read;
        plainSeconds += secondsOf([&] { benchmark::DoNotOptimize(plainRead(db->path)); });
    }
    state.counters["messages"] = static_cast<double>(messages);
    state.counters["plain_ms"] = plainSeconds * 1000 / static_cast<double>(state.iterations());
    state.counters["ratio"] = readSeconds / plainSeconds;
    state.counters["peak_rss_MiB"] = programPeakMiB({"info", "-q", db->path});
}

void BM_SqliteInsert(benchmark::State& state) {
    std::string error;
    const Database* db = cache().get(state.range(0), error);
    const auto opened = db == nullptr ? nullptr : open(*db, error);
    if (!opened) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::vector<Row> rows = rowsOf(*opened);
    const std::string path = cache().scratch("alone.sqlite");
    double total = 0;
    for (auto _ : state) {
        bool ok = false;
        const double seconds = secondsOf([&] { ok = insertRows(rows, path); });
        if (!ok) {
            state.SkipWithError("SQLite failed");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
    }
    std::remove(path.c_str());
    sqliteSeconds()[state.range(0)] = total / static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(rows.size());
}

void BM_Export(benchmark::State& state) {
    std::string error;
    const Database* db = cache().get(state.range(0), error);
    if (db == nullptr) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string out = cache().scratch("export");
    double exportSeconds = 0;
    double plainSeconds = 0;
    for (auto _ : state) {
        fs::remove_all(out);
        const double seconds = secondsOf([&] {
            const auto opened = open(*db, error);
            archive::Archive read;
            if (opened) {
                archive::fillArchive(*opened, read);
                error = archive::exportAll(read, out).error;
            }
        });
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(seconds);
        exportSeconds += seconds;
        plainSeconds += secondsOf([&] { benchmark::DoNotOptimize(plainRead(db->path)); });
    }
    const uint64_t other = otherBytes(out);
    fs::remove_all(out);
    const double iterations = static_cast<double>(state.iterations());
    state.counters["other_MiB"] = static_cast<double>(other) / kMiB;
    state.counters["write_floor_ms"] =
        secondsOf([&] { writeBytes(cache().scratch("floor"), other); }) * 1000;
    const double sqlite = sqliteSeconds()[state.range(0)];
    state.counters["plain_ms"] = plainSeconds * 1000 / iterations;
    state.counters["sqlite_ms"] = sqlite * 1000;
    state.counters["budget_ratio"] =
        (exportSeconds / iterations - sqlite) / (plainSeconds / iterations);
    state.counters["peak_rss_MiB"] = programPeakMiB({"export", "-q", "--out", out, db->path});
    fs::remove_all(out);
}

BENCHMARK(BM_PlainRead)->Arg(75)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadEntries)->Arg(75)->Arg(300)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteInsert)
    ->Arg(75)
    ->Arg(300)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export)->Arg(75)->Arg(300)->UseManualTime()->Iterations(3)->Unit(
    benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
