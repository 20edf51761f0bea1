#include "archive/sqlite.h"

#include "archive/exporterror.h"
#include "archive/names.h"
#include "archive/outfile.h"
#include "archive/text.h"

#include <cstdio>
#include <exception>
#include <sqlite3.h>
#include <type_traits>

#include "archive/quietthread.h"

namespace archive {

namespace {

// A batch holds about 1 MiB of rows; at most four wait for the inserting thread.
constexpr size_t kBatchBytes = size_t{1} << 20;
constexpr size_t kQueuedBatches = 4;

const char* const kSchema = R"(
CREATE TABLE owner (uin INTEGER PRIMARY KEY, display_name TEXT NOT NULL, nickname TEXT NOT NULL,
    first_name TEXT NOT NULL, last_name TEXT NOT NULL, email TEXT NOT NULL,
    time_zone TEXT NOT NULL);
CREATE TABLE groups (id INTEGER PRIMARY KEY, name TEXT NOT NULL);
CREATE TABLE contacts (uin INTEGER PRIMARY KEY, display_name TEXT NOT NULL,
    status TEXT NOT NULL, status_code INTEGER NOT NULL, group_id INTEGER,
    handle TEXT NOT NULL, nickname TEXT NOT NULL, first_name TEXT NOT NULL,
    last_name TEXT NOT NULL, has_record INTEGER NOT NULL);
CREATE TABLE contact_emails (uin INTEGER NOT NULL REFERENCES contacts (uin),
    position INTEGER NOT NULL, email TEXT NOT NULL, PRIMARY KEY (uin, position));
CREATE TABLE contact_details (uin INTEGER NOT NULL REFERENCES contacts (uin),
    name TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY (uin, name));
CREATE TABLE messages (id INTEGER PRIMARY KEY, uin INTEGER NOT NULL REFERENCES contacts (uin),
    direction TEXT NOT NULL, kind TEXT NOT NULL, subtype INTEGER NOT NULL,
    time_utc INTEGER NOT NULL, time TEXT NOT NULL, text TEXT NOT NULL, url TEXT NOT NULL,
    raw_text BLOB NOT NULL, entry_id INTEGER NOT NULL, file_offset INTEGER NOT NULL,
    deleted_folder INTEGER NOT NULL DEFAULT 0);
CREATE VIEW history AS
    SELECT m.time, c.display_name AS contact, m.direction, m.kind, m.text, m.url, m.deleted_folder
    FROM messages m JOIN contacts c ON c.uin = m.uin ORDER BY m.uin, m.time_utc, m.id;
)";

const char* const kIndexes = R"(
CREATE INDEX contacts_by_group ON contacts (group_id);
CREATE INDEX messages_by_contact ON messages (uin, time_utc);
CREATE INDEX messages_by_time ON messages (time_utc);
)";

void bindText(sqlite3_stmt* statement, int column, const std::string& text) {
    sqlite3_bind_text(statement, column, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

// Binds every value in order, from column 1.
template <typename... Values> void bindAll(sqlite3_stmt* statement, const Values&... values) {
    int column = 0;
    const auto bind = [&](const auto& value) {
        ++column;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, std::string>) {
            bindText(statement, column, cleanText(value));
        } else if constexpr (std::is_same_v<T, std::nullptr_t>) {
            sqlite3_bind_null(statement, column);
        } else {
            sqlite3_bind_int64(statement, column, static_cast<sqlite3_int64>(value));
        }
    };
    (bind(values), ...);
}

} // namespace

MessageRow messageRow(const Message& m, const TimeZone& zone) {
    MessageRow row;
    row.uin = m.uin;
    row.direction = directionName(m.direction);
    row.kind = kindName(m.kind);
    row.subtype = m.subtype;
    row.time = m.time;
    row.isoTime = zone.isoTime(m.time);
    row.text = cleanText(m.text);
    row.url = cleanText(m.url);
    row.entryId = m.entryId;
    row.offset = m.offset;
    row.inDeletedFolder = m.inDeletedFolder;
    return row;
}

SqliteWriter::SqliteWriter(std::string path, const Archive& archive, const TimeZone& zone)
    : path_(std::move(path)), part_(partPath(path_)) {
    // Building an index, SQLite sorts its keys in runs of at least 250 pages before writing
    // them out: 16 MiB in pages of 64 KiB, the largest part of an export's memory. Runs of
    // 32 pages (2 MiB) sort the keys of a million messages as fast. It can be set only before
    // SQLite's first use in the process; where that has passed, the default stays.
    static const int sortRuns = sqlite3_config(SQLITE_CONFIG_PMASZ, 32u);
    (void)sortRuns;
    std::remove(part_.c_str());
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(part_.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
    db_.reset(db);
    if (opened != SQLITE_OK) {
        fail();
    }
    // The file gets its name only when complete, so it needs no journal. A message with its
    // raw bytes outgrows a page of the default 4 KiB and is written through a chain of
    // overflow pages, a write each; in pages of 64 KiB most fit, and the database is written
    // in two to three times less time.
    exec("PRAGMA page_size = 65536; PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
         "BEGIN;");
    exec(kSchema);

    const Owner& owner = archive.owner;
    Statement insertOwner = prepare("INSERT INTO owner VALUES (?, ?, ?, ?, ?, ?, ?)");
    bindAll(insertOwner.get(), owner.uin, ownerName(owner), owner.nickName, owner.firstName,
            owner.lastName, owner.email, zone.name());
    run(insertOwner.get());

    Statement insertGroup = prepare("INSERT OR REPLACE INTO groups VALUES (?, ?)");
    for (const Group& group : archive.groups) {
        bindAll(insertGroup.get(), group.id, group.name);
        run(insertGroup.get());
    }
    writeContacts(archive);

    insertMessage_ = prepare("INSERT INTO messages (uin, direction, kind, subtype, time_utc, "
                             "time, text, url, raw_text, entry_id, file_offset, deleted_folder) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insertUnknown_ = prepare("INSERT OR IGNORE INTO contacts VALUES "
                             "(?, ?, 'other', 0, NULL, '', '', '', '', 0)");
}

SqliteWriter::~SqliteWriter() {
    finishInserting(true);
    if (db_) {
        insertMessage_.reset();
        insertUnknown_.reset();
        db_.reset();
        std::remove(part_.c_str());
    }
}

void SqliteWriter::writeContacts(const Archive& archive) {
    Statement insertContact =
        prepare("INSERT OR REPLACE INTO contacts VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    Statement insertEmail = prepare("INSERT OR REPLACE INTO contact_emails VALUES (?, ?, ?)");
    Statement insertDetail = prepare("INSERT OR REPLACE INTO contact_details VALUES (?, ?, ?)");
    for (const Contact& c : archive.contacts) {
        bindAll(insertContact.get(), c.uin, displayName(c), std::string(statusName(c.status)),
                c.rawStatus, nullptr, c.handle, c.nickName, c.firstName, c.lastName,
                c.hasRecord ? 1 : 0);
        if (c.groupId != 0) {
            sqlite3_bind_int64(insertContact.get(), 5, c.groupId);
        }
        run(insertContact.get());
        for (size_t i = 0; i < c.emails.size(); ++i) {
            bindAll(insertEmail.get(), c.uin, i + 1, c.emails[i]);
            run(insertEmail.get());
        }
        for (const auto& [name, value] : c.details) {
            bindAll(insertDetail.get(), c.uin, name, value);
            run(insertDetail.get());
        }
    }
}

void SqliteWriter::add(MessageRow row) {
    fillingBytes_ += row.text.size() + row.url.size() + row.rawText.size() + sizeof row;
    filling_.push_back(std::move(row));
    if (fillingBytes_ >= kBatchBytes) {
        send();
    }
}

void SqliteWriter::send() {
    if (!inserter_.joinable()) {
        inserter_ = quietThread([this] { insertBatches(); });
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queued_.size() < kQueuedBatches || !failure_.empty(); });
    if (!failure_.empty()) {
        throw ExportError(failure_);
    }
    queued_.push_back(std::move(filling_));
    filling_.clear();
    fillingBytes_ = 0;
    changed_.notify_all();
}

void SqliteWriter::finishInserting(bool drop) {
    if (!inserter_.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        if (drop) {
            queued_.clear();
        }
    }
    changed_.notify_all();
    inserter_.join();
}

void SqliteWriter::insertBatches() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return closing_ || !queued_.empty(); });
        if (queued_.empty()) {
            return;
        }
        const Batch batch = std::move(queued_.front());
        queued_.pop_front();
        changed_.notify_all();
        lock.unlock();
        std::string failure;
        try {
            for (const MessageRow& row : batch) {
                insert(row);
            }
        } catch (const ExportError& e) {
            failure = e.what();
        } catch (const std::exception& e) {
            // Nothing may leave the thread: out of memory stops the export like a full disk.
            failure = path_ + ": could not write the database (" + e.what() + ")";
        }
        lock.lock();
        if (!failure.empty()) {
            failure_ = failure;
            queued_.clear();
            changed_.notify_all();
            return;
        }
    }
}

void SqliteWriter::insert(const MessageRow& m) {
    if (!haveUin_ || m.uin != lastUin_) {
        bindAll(insertUnknown_.get(), m.uin, std::to_string(m.uin));
        run(insertUnknown_.get());
        haveUin_ = true;
        lastUin_ = m.uin;
    }
    sqlite3_stmt* const s = insertMessage_.get();
    const auto text = [s](int column, const std::string& value) {
        sqlite3_bind_text(s, column, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    };
    sqlite3_bind_int64(s, 1, m.uin);
    sqlite3_bind_text(s, 2, m.direction, -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 3, m.kind, -1, SQLITE_STATIC);
    sqlite3_bind_int64(s, 4, m.subtype);
    sqlite3_bind_int64(s, 5, m.time);
    text(6, m.isoTime);
    text(7, m.text);
    text(8, m.url);
    sqlite3_bind_blob(s, 9, m.rawText.data(), static_cast<int>(m.rawText.size()), SQLITE_STATIC);
    sqlite3_bind_int64(s, 10, m.entryId);
    sqlite3_bind_int64(s, 11, static_cast<sqlite3_int64>(m.offset));
    sqlite3_bind_int(s, 12, m.inDeletedFolder ? 1 : 0);
    run(s);
}

std::string SqliteWriter::finish() {
    if (!filling_.empty()) {
        send();
    }
    finishInserting(false);
    if (!failure_.empty()) {
        throw ExportError(failure_);
    }
    exec(kIndexes);
    exec("COMMIT;");
    insertMessage_.reset();
    insertUnknown_.reset();
    if (sqlite3_close(db_.get()) != SQLITE_OK) {
        fail();
    }
    db_.release();
    return part_;
}

void SqliteWriter::exec(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail();
    }
}

SqliteWriter::Statement SqliteWriter::prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &statement, nullptr) != SQLITE_OK) {
        fail();
    }
    return Statement(statement);
}

void SqliteWriter::run(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) {
        fail();
    }
    sqlite3_reset(statement);
}

void SqliteWriter::fail() const {
    const char* cause = db_ ? sqlite3_errmsg(db_.get()) : "out of memory";
    throw ExportError(path_ + ": could not write the database (" + cause + ")");
}

} // namespace archive
