// The ICQ archive on a heavy user's database (bench/README.md): reading every entry
// (BM_ReadEntries), SQLite alone (BM_SqliteInsert) and the full export (BM_Export), each beside
// a plain read of the file interleaved with it, and the peak memory of tolvane-icq run through
// /usr/bin/time (a child of this process would inherit its peak across exec).

#include "archive/database.h"
#include "archive/exportall.h"
#include "archive/exporterror.h"
#include "archive/outfile.h"
#include "archive/sqlite.h"
#include "archive/timefmt.h"

#include "icqdb.h"
#include "icqgen.h"
#include "support.h"

#include <algorithm>
#include <map>

namespace {

namespace fs = std::filesystem;
constexpr uint32_t kOwner = 4711;

// The history: conversations of 2 to 24 messages, a few contacts taking most of them; chat
// texts of 300 to 4 000 bytes, URLs, long messages, 2% deleted.
void addHistory(mkwin::IcqDatabaseContent& content, uint64_t count, unsigned seed) {
    mkwin::IcqRandom rng(seed);
    uint32_t clock = 978307200;
    uint32_t left = 0;
    uint32_t partner = 0;
    for (uint64_t i = 0; i < count; ++i, --left) {
        if (left == 0) {
            const uint32_t pick = rng.below(rng.percent(70) ? 40 : content.contacts.size());
            partner = content.contacts[pick].uin;
            left = rng.between(2, 24);
            clock += rng.between(1800, 86400);
        }
        mkwin::IcqMessageFields f;
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
        content.messages.push_back({f});
    }
}

struct Database {
    std::string path;
    uint64_t bytes = 0;
};

/// The database of about `mib` MiB, written on first use.
const Database& database(int64_t mib) {
    static std::map<int64_t, Database> files;
    const auto found = files.find(mib);
    if (found != files.end()) {
        return found->second;
    }
    const auto seed = static_cast<unsigned>(mib);
    mkwin::IcqDatabaseContent content = mkwin::realisticIcqDatabase(kOwner, 3000, 0, seed);
    addHistory(content, static_cast<uint64_t>(mib) * 510, seed);
    const std::string folder = bench::scratch(std::to_string(mib));
    fs::create_directories(folder);
    Database db{folder + "/" + std::to_string(kOwner) + ".dat"};
    std::string error;
    if (!mkwin::writeIcqDatabase(db.path, content, error)) {
        bench::fail(error);
    }
    db.bytes = fs::file_size(db.path);
    return files.emplace(mib, db).first->second;
}

std::unique_ptr<archive::Database> open(const Database& db) {
    std::string error;
    auto opened = archive::Database::open(db.path, archive::Settings(), error);
    if (!opened) {
        bench::fail(error);
    }
    return opened;
}

/// Peak resident size in MiB of tolvane-icq run with `args`; 0 when it fails.
double programPeakMiB(const std::string& args) {
    const std::string out = bench::commandOutput(
        "/usr/bin/time -f %M -o /dev/fd/3 " TOLVANE_ICQ " " + args + " 3>&1 >/dev/null 2>&1");
    return std::atof(out.c_str()) / 1024.0;
}

/// The time write(2) takes to put `bytes` zero bytes into a new file in blocks of 1 MiB.
double writeSeconds(uint64_t bytes) {
    const std::string path = bench::scratch("floor");
    const std::vector<char> block(bench::kMiB);
    const double seconds = bench::secondsOf([&] {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (uint64_t done = 0; fd >= 0 && done < bytes;) {
            const ssize_t n = ::write(fd, block.data(), std::min(bench::kMiB, bytes - done));
            done += n > 0 ? static_cast<uint64_t>(n) : bytes;
        }
        ::close(fd);
    });
    fs::remove(path);
    return seconds;
}

// SQLite alone, measured before the export of the same size.
std::map<int64_t, double> sqliteSeconds;

void BM_ReadEntries(benchmark::State& state) {
    const Database& db = database(state.range(0));
    double readSeconds = 0;
    double plainSeconds = 0;
    uint64_t messages = 0;
    for (auto _ : state) {
        std::string error;
        const double read = bench::secondsOf([&] {
            messages = 0;
            const auto visit = [&](const archive::Message& m) {
                benchmark::DoNotOptimize(m.text.data());
                ++messages;
                return true;
            };
            if (!archive::Database::open(db.path, archive::Settings(), error, {}, visit)) {
                bench::fail(error);
            }
        });
        state.SetIterationTime(read);
        readSeconds += read;
        plainSeconds += bench::secondsOf([&] { bench::plainRead(db.path); });
    }
    state.counters["messages"] = static_cast<double>(messages);
    state.counters["plain_ms"] = plainSeconds * 1000 / static_cast<double>(state.iterations());
    state.counters["ratio"] = readSeconds / plainSeconds;
    state.counters["peak_rss_MiB"] = programPeakMiB("info -q " + db.path);
}

void BM_SqliteInsert(benchmark::State& state) {
    const auto db = open(database(state.range(0)));
    archive::Archive read;
    archive::fillArchive(*db, read);
    const archive::TimeZone zone;
    std::vector<archive::MessageRow> rows;
    db->forEachMessageByContact([&](const archive::Message& m) {
        rows.push_back(archive::messageRow(m, zone));
        rows.back().rawText = m.rawText;
        return true;
    });
    const std::string path = bench::scratch("alone.sqlite");
    double total = 0;
    for (auto _ : state) {
        // Copied before the clock starts: the rows are moved in, as the export moves them.
        std::vector<archive::MessageRow> fresh = rows;
        std::string error;
        const double seconds = bench::secondsOf([&] {
            try {
                archive::SqliteWriter writer(path, read, zone);
                for (archive::MessageRow& row : fresh) {
                    writer.add(std::move(row));
                }
                archive::renameInto(writer.finish(), path);
            } catch (const archive::ExportError& e) {
                error = e.what();
            }
        });
        if (!error.empty()) {
            bench::fail(error);
        }
        state.SetIterationTime(seconds);
        total += seconds;
        fs::remove(path);
    }
    sqliteSeconds[state.range(0)] = total / static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(rows.size());
}

void BM_Export(benchmark::State& state) {
    const Database& db = database(state.range(0));
    const std::string out = bench::scratch("export");
    double exportSeconds = 0;
    double plainSeconds = 0;
    for (auto _ : state) {
        fs::remove_all(out);
        std::string error;
        const double seconds = bench::secondsOf([&] {
            const auto opened = open(db); // the archive reads its messages through it
            archive::Archive read;
            archive::fillArchive(*opened, read);
            error = archive::exportAll(read, out).error;
        });
        if (!error.empty()) {
            bench::fail(error);
        }
        state.SetIterationTime(seconds);
        exportSeconds += seconds;
        plainSeconds += bench::secondsOf([&] { bench::plainRead(db.path); });
    }
    uint64_t other = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (entry.is_regular_file() && entry.path().filename() != "icq-archive.sqlite") {
            other += entry.file_size();
        }
    }
    const double iterations = static_cast<double>(state.iterations());
    const double sqlite = sqliteSeconds[state.range(0)];
    state.counters["other_MiB"] = static_cast<double>(other) / bench::kMiB;
    state.counters["write_floor_ms"] = writeSeconds(other) * 1000;
    state.counters["plain_ms"] = plainSeconds * 1000 / iterations;
    state.counters["sqlite_ms"] = sqlite * 1000;
    state.counters["budget_ratio"] =
        (exportSeconds / iterations - sqlite) / (plainSeconds / iterations);
    fs::remove_all(out);
    state.counters["peak_rss_MiB"] = programPeakMiB("export -q --out " + out + " " + db.path);
    fs::remove_all(out);
}

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
